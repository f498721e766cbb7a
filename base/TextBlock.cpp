#include "TextBlock.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

using namespace Qt::Literals::StringLiterals;

ArcException::ArcException(QString message, int code)
    : m_message(std::move(message))
    , m_code(code)
{
}

TextBlock::TextBlock(std::size_t growStep, bool fixedSize)
    : m_growStep(growStep == 0 ? kDefaultGrowStep : growStep)
    , m_fixed(fixedSize)
{
}

TextBlock::TextBlock(const TextBlock& other)
    : m_growStep(other.m_growStep)
    , m_fixed(other.m_fixed)
{
    if (other.m_capacity > 0) {
        m_data = static_cast<char*>(std::calloc(other.m_capacity, 1));
        if (m_data == nullptr)
            throw std::bad_alloc();
        std::memcpy(m_data, other.m_data, other.m_used);
        m_capacity = other.m_capacity;
        m_used = other.m_used;
    }
}

TextBlock::TextBlock(TextBlock&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_used(std::exchange(other.m_used, 0))
    , m_capacity(std::exchange(other.m_capacity, 0))
    , m_growStep(other.m_growStep)
    , m_fixed(other.m_fixed)
    , m_lastError(std::move(other.m_lastError))
{
}

TextBlock& TextBlock::operator=(const TextBlock& other)
{
    if (this != &other) {
        TextBlock copy(other);
        *this = std::move(copy);
    }
    return *this;
}

TextBlock& TextBlock::operator=(TextBlock&& other) noexcept
{
    if (this != &other) {
        std::free(m_data);
        m_data = std::exchange(other.m_data, nullptr);
        m_used = std::exchange(other.m_used, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_growStep = other.m_growStep;
        m_fixed = other.m_fixed;
        m_lastError = std::move(other.m_lastError);
    }
    return *this;
}

TextBlock::~TextBlock()
{
    std::free(m_data);
}

// Grows to `target` bytes when fewer than `needed` are available. New memory is zero, so the
// text is always followed by a terminating zero while there is room for one.
void TextBlock::ensureCapacity(std::size_t needed, std::size_t target)
{
    if (needed <= m_capacity)
        return;
    if (m_fixed && m_capacity > 0)
        throw ArcException(u"The memory block has a fixed size and may not grow"_s, ArcException::MayNotGrow);
    char* grown = static_cast<char*>(std::calloc(target, 1));
    if (grown == nullptr)
        throw ArcException(u"Out of memory"_s, ArcException::OutOfMemory);
    if (m_data != nullptr)
        std::memcpy(grown, m_data, m_used);
    std::free(m_data);
    m_data = grown;
    m_capacity = target;
}

int TextBlock::fail(const ArcException& e)
{
    m_lastError = e.message();
    return e.code();
}

int TextBlock::allocate()
{
    try {
        ensureCapacity(m_growStep, m_growStep);
    } catch (const ArcException& e) {
        return fail(e);
    }
    return 0;
}

int TextBlock::setData(const char* data, std::size_t length)
{
    try {
        if (data == nullptr || length == 0)
            throw ArcException(u"No data given"_s, ArcException::NoData);
        // A fixed block gets its one allocation here when it has none yet.
        if (m_fixed && m_capacity == 0)
            ensureCapacity(m_growStep, m_growStep);
        ensureCapacity(length, length);
        std::memcpy(m_data, data, length);
        if (length < m_used)
            std::memset(m_data + length, 0, m_used - length);
        m_used = length;
    } catch (const ArcException& e) {
        return fail(e);
    }
    return 0;
}

int TextBlock::append(const char* data, std::size_t length)
{
    try {
        if (data == nullptr || length == 0)
            throw ArcException(u"No data given"_s, ArcException::NoData);
        constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
        if (length > kMax - m_used || m_growStep > kMax - m_used - length)
            throw ArcException(u"Out of memory"_s, ArcException::OutOfMemory);
        if (m_fixed && m_capacity == 0)
            ensureCapacity(m_growStep, m_growStep);
        ensureCapacity(m_used + length, m_used + length + m_growStep);
        std::memcpy(m_data + m_used, data, length);
        m_used += length;
    } catch (const ArcException& e) {
        return fail(e);
    }
    return 0;
}

void TextBlock::clear()
{
    if (m_data != nullptr)
        std::memset(m_data, 0, m_used);
    m_used = 0;
}

QByteArray TextBlock::toByteArray() const
{
    return m_used == 0 ? QByteArray() : QByteArray(m_data, static_cast<qsizetype>(m_used));
}
