#pragma once

#include <array>
#include <utility>
#include <vector>

#include <QByteArrayView>
#include <QString>
#include <QStringView>

class QIODevice;

// Raised for an "esc.ini" line that cannot be parsed; the loader skips such lines.
class IniParseException
{
public:
    explicit IniParseException(QString message)
        : m_message(std::move(message))
    {
    }
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

struct PrinterControlEntry
{
    QString name;
    QString value; // the control sequence, one character per byte
};

// A group whose name ends in upper-case 'N' lists sequences that take one parameter character
// after them; its values leave that character out.
struct PrinterControlGroup
{
    QString name;
    std::vector<PrinterControlEntry> entries;
};

// The printer control codes that report drawing leaves out, read from "esc.ini" (windows-1251,
// one "group.name=value" per line). A value object: copies carry all groups and entries.
class PrinterControlTable
{
public:
    // Adds the file's entries. 0 when read, -1 for an empty path, -2 when the file cannot be
    // opened or read (shown as "File error: ..." when showErrors is set). Entries of the lines
    // read before a read error stay.
    int load(const QString& path, bool showErrors);
    // The same for an open device; the message carries the device's error text.
    int loadFromDevice(QIODevice& device, bool showErrors);
    // Adds the entries of a whole file's bytes; a last line without a line break counts.
    void loadFromBytes(QByteArrayView bytes);

    // Splits a line into group, entry name and the value it stands for (valueFromText of the
    // value text); throws IniParseException for an empty line.
    static void parseLine(QStringView line, QString& group, QString& name, QString& value);
    // The control sequence a value text stands for: ESC and the rest for "<ESC>..." longer than
    // five characters, else the one character whose code the text gives as a number.
    static QString valueFromText(QStringView text);

    // The returned group may be changed; it is valid until the next change of the table. After
    // this call recognise() falls back to the plain lookup until clear(), load or addEntry.
    PrinterControlGroup& findOrAddGroup(const QString& name);
    // Appends an entry to its group (added when new) and keeps longestValue() and the
    // recognition index up to date; what the loader does for every line.
    void addEntry(const QString& group, const QString& name, const QString& value);
    // 1 and the entry's name when the candidate is a listed sequence, else 0. In an 'N' group
    // the candidate's last character is the parameter and is not compared; an empty candidate,
    // or one that is empty without its parameter, is never a listed sequence.
    int lookup(QStringView candidate, QString* entryName = nullptr) const;

    // How many bytes of `text` starting at `pos` form a recognised control code, which is not
    // drawn; 0 when the byte at `pos` is drawn as a character. CR, LF and TAB are the caller's.
    // Bytes are windows-1251 characters for the comparison.
    int recognise(QByteArrayView text, qsizetype pos) const;

    int longestValue() const { return m_longestValue; }
    const std::vector<PrinterControlGroup>& groups() const { return m_groups; }
    bool isEmpty() const { return m_groups.empty(); }
    void clear();

private:
    // Sequences that begin with ESC, character by character after the ESC; node 0 is ESC alone.
    struct EscNode
    {
        std::vector<std::pair<char16_t, int>> children;
        bool sequenceEnd = false; // a listed sequence ends here
        bool parameterEnd = false; // an 'N' group's sequence ends here; one more byte follows
    };

    PrinterControlGroup& group(const QString& name);
    void rebuildIndex();
    void index(const PrinterControlGroup& group, const PrinterControlEntry& entry);
    int recogniseByLookup(QByteArrayView text, qsizetype pos) const;

    int m_longestValue = 0;
    std::vector<PrinterControlGroup> m_groups;

    // What recognise() consults for speed, derived from m_groups.
    std::array<bool, 256> m_hiddenByte{};
    std::vector<EscNode> m_escNodes{ EscNode{} };
    bool m_indexStale = false;
};
