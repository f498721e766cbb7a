#include "ProgramSettings.h"

#include <QStringList>

#include "ProfileStore.h"

using namespace Qt::Literals::StringLiterals;

namespace settings {

namespace {

std::uint64_t widthMask(int bits)
{
    return bits >= 64 ? ~0ull : (1ull << bits) - 1;
}

// A stored value cut to the width of its field, as the field itself would hold it.
std::uint32_t masked(long long value, int bits)
{
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) & widthMask(bits));
}

std::int32_t readInt32(const ProfileStore& store, const QString& section, const QString& key, std::int32_t def)
{
    return static_cast<std::int32_t>(masked(store.readInt(section, key, def), 32));
}

template<typename T>
T readUnsigned(const ProfileStore& store, const QString& section, const QString& key, T def, int bits)
{
    return static_cast<T>(masked(store.readInt(section, key, def), bits));
}

// The plain fields of the control block after the flag word, in stored order.
struct DcbField
{
    const char* key;
    int bits;
    std::uint32_t (*get)(const DeviceControlBlock&);
    void (*set)(DeviceControlBlock&, std::uint32_t);
};

#define LORN2_DCB_FIELD(name, bits)                                                                                    \
    DcbField                                                                                                           \
    {                                                                                                                  \
        #name, bits, [](const DeviceControlBlock& d) -> std::uint32_t { return d.name; },                              \
            [](DeviceControlBlock& d, std::uint32_t v) { d.name = static_cast<decltype(d.name)>(v); }                  \
    }

const DcbField kTailFields[] = {
    LORN2_DCB_FIELD(wReserved, 16), LORN2_DCB_FIELD(XonLim, 16),   LORN2_DCB_FIELD(XoffLim, 16),
    LORN2_DCB_FIELD(ByteSize, 8),   LORN2_DCB_FIELD(Parity, 8),    LORN2_DCB_FIELD(StopBits, 8),
    LORN2_DCB_FIELD(XonChar, 8),    LORN2_DCB_FIELD(XoffChar, 8),  LORN2_DCB_FIELD(ErrorChar, 8),
    LORN2_DCB_FIELD(EofChar, 8),    LORN2_DCB_FIELD(EvtChar, 8),   LORN2_DCB_FIELD(wReserved1, 16),
};

#undef LORN2_DCB_FIELD

} // namespace

int readTabSize(const ProfileStore& store)
{
    return readInt32(store, kSectionSettings, kKeyTabSize, kDefaultTabSize);
}

void writeTabSize(ProfileStore& store, int tabSize)
{
    store.writeInt(kSectionSettings, kKeyTabSize, tabSize);
}

QStringList fontKeys()
{
    return {u"Height"_s,      u"Width"_s,        u"Escapement"_s,    u"Orientation"_s, u"Weight"_s,
            u"Italic"_s,      u"Underline"_s,    u"StrikeOut"_s,     u"CharSet"_s,     u"OutPrecision"_s,
            u"ClipPrecision"_s, u"Quality"_s,    u"PitchAndFamily"_s, u"FaceName"_s};
}

LogFont readFont(const ProfileStore& store, const QString& s)
{
    const LogFont d;
    LogFont f;
    f.Height = readInt32(store, s, u"Height"_s, d.Height);
    f.Width = readInt32(store, s, u"Width"_s, d.Width);
    f.Escapement = readInt32(store, s, u"Escapement"_s, d.Escapement);
    f.Orientation = readInt32(store, s, u"Orientation"_s, d.Orientation);
    f.Weight = readInt32(store, s, u"Weight"_s, d.Weight);
    f.Italic = readUnsigned<std::uint8_t>(store, s, u"Italic"_s, d.Italic, 8);
    f.Underline = readUnsigned<std::uint8_t>(store, s, u"Underline"_s, d.Underline, 8);
    f.StrikeOut = readUnsigned<std::uint8_t>(store, s, u"StrikeOut"_s, d.StrikeOut, 8);
    f.CharSet = readUnsigned<std::uint8_t>(store, s, u"CharSet"_s, d.CharSet, 8);
    f.OutPrecision = readUnsigned<std::uint8_t>(store, s, u"OutPrecision"_s, d.OutPrecision, 8);
    f.ClipPrecision = readUnsigned<std::uint8_t>(store, s, u"ClipPrecision"_s, d.ClipPrecision, 8);
    f.Quality = readUnsigned<std::uint8_t>(store, s, u"Quality"_s, d.Quality, 8);
    f.PitchAndFamily = readUnsigned<std::uint8_t>(store, s, u"PitchAndFamily"_s, d.PitchAndFamily, 8);
    f.setFaceName(store.readString(s, u"FaceName"_s, d.FaceName));
    return f;
}

void writeFont(ProfileStore& store, const QString& s, const LogFont& f)
{
    store.writeInt(s, u"Height"_s, f.Height);
    store.writeInt(s, u"Width"_s, f.Width);
    store.writeInt(s, u"Escapement"_s, f.Escapement);
    store.writeInt(s, u"Orientation"_s, f.Orientation);
    store.writeInt(s, u"Weight"_s, f.Weight);
    store.writeInt(s, u"Italic"_s, f.Italic);
    store.writeInt(s, u"Underline"_s, f.Underline);
    store.writeInt(s, u"StrikeOut"_s, f.StrikeOut);
    store.writeInt(s, u"CharSet"_s, f.CharSet);
    store.writeInt(s, u"OutPrecision"_s, f.OutPrecision);
    store.writeInt(s, u"ClipPrecision"_s, f.ClipPrecision);
    store.writeInt(s, u"Quality"_s, f.Quality);
    store.writeInt(s, u"PitchAndFamily"_s, f.PitchAndFamily);
    store.writeString(s, u"FaceName"_s, f.FaceName.left(LogFont::kFaceNameMax));
}

QStringList connectionKeys()
{
    QStringList keys{u"Port"_s, u"BaudRate"_s};
    for (const DcbFlagLayout& f : dcbFlagLayout())
        keys << QString::fromLatin1(f.key);
    for (const DcbField& f : kTailFields)
        keys << QString::fromLatin1(f.key);
    return keys;
}

ConnectionBlock defaultNewAccountConnection()
{
    ConnectionBlock c;
    c.handle = -1;
    c.error = 0;
    c.port = -1;
    c.dcb = defaultDeviceControlBlock();
    return c;
}

ConnectionBlock readNewAccountConnection(const ProfileStore& store)
{
    const QString& s = kSectionNewAccount;
    const ConnectionBlock d = defaultNewAccountConnection();
    ConnectionBlock c = d;
    c.port = readInt32(store, s, u"Port"_s, d.port);
    c.dcb.BaudRate = readUnsigned<std::uint32_t>(store, s, u"BaudRate"_s, d.dcb.BaudRate, 32);
    c.dcb.flags = 0;
    for (const DcbFlagLayout& f : dcbFlagLayout()) {
        const long long def = dcbFlag(d.dcb, f.flag);
        setDcbFlag(c.dcb, f.flag, masked(store.readInt(s, QString::fromLatin1(f.key), def), f.width));
    }
    for (const DcbField& f : kTailFields)
        f.set(c.dcb, masked(store.readInt(s, QString::fromLatin1(f.key), f.get(d.dcb)), f.bits));
    return c;
}

void writeNewAccountConnection(ProfileStore& store, const ConnectionBlock& c)
{
    const QString& s = kSectionNewAccount;
    store.writeInt(s, u"Port"_s, c.port);
    store.writeInt(s, u"BaudRate"_s, c.dcb.BaudRate);
    for (const DcbFlagLayout& f : dcbFlagLayout())
        store.writeInt(s, QString::fromLatin1(f.key), dcbFlag(c.dcb, f.flag));
    for (const DcbField& f : kTailFields)
        store.writeInt(s, QString::fromLatin1(f.key), f.get(c.dcb));
}

} // namespace settings
