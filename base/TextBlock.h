#pragma once

#include <cstddef>

#include <QByteArray>
#include <QString>

// Raised by TextBlock and turned into its result code at each operation's boundary.
class ArcException
{
public:
    enum Code { MayNotGrow = 2, NoData = 3, OutOfMemory = 4 };

    ArcException(QString message, int code);
    const QString& message() const { return m_message; }
    int code() const { return m_code; }

private:
    QString m_message;
    int m_code;
};

// A growable, zero-filled byte block holding a report text, a received meter report or a
// configuration-report text. Operations return 0 on success, else an ArcException code.
class TextBlock
{
public:
    static constexpr std::size_t kDefaultGrowStep = 4096;

    explicit TextBlock(std::size_t growStep = kDefaultGrowStep, bool fixedSize = false);
    TextBlock(const TextBlock& other);
    TextBlock(TextBlock&& other) noexcept;
    TextBlock& operator=(const TextBlock& other);
    TextBlock& operator=(TextBlock&& other) noexcept;
    ~TextBlock();

    // Replaces the content; grows the block to the new length when it is too small.
    int setData(const char* data, std::size_t length);
    int setData(const QByteArray& data) { return setData(data.constData(), static_cast<std::size_t>(data.size())); }
    // Appends; grows the block to used + length + grow step when it is too small.
    int append(const char* data, std::size_t length);
    int append(const QByteArray& data) { return append(data.constData(), static_cast<std::size_t>(data.size())); }
    // Allocates the first grow step without content, as a fixed-size block needs before use.
    int allocate();
    void clear(); // used length 0, memory zeroed and kept

    const char* data() const { return m_data; }
    std::size_t size() const { return m_used; }
    std::size_t capacity() const { return m_capacity; }
    std::size_t growStep() const { return m_growStep; }
    bool isFixedSize() const { return m_fixed; }
    bool isEmpty() const { return m_used == 0; }
    QByteArray toByteArray() const;

    // The last failure's message, for the caller that shows it.
    const QString& lastError() const { return m_lastError; }

private:
    void ensureCapacity(std::size_t needed, std::size_t target);
    int fail(const ArcException& e);

    char* m_data = nullptr;
    std::size_t m_used = 0;
    std::size_t m_capacity = 0;
    std::size_t m_growStep;
    bool m_fixed;
    QString m_lastError;
};
