#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QString>

enum class MbIcon { None, Error, Warning, Information, Question };
enum class MbButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MbAnswer { Ok, Cancel, Yes, No, Retry };

struct MessageRequest
{
    QString text;
    QString caption; // empty: the program's title
    MbIcon icon = MbIcon::None;
    MbButtons buttons = MbButtons::Ok;

    // The answer of the first button, which a message box selects by default.
    MbAnswer defaultAnswer() const;
};

// What actually shows a message: a window, standard error, or a test's recorder.
class MessageBoxBackend
{
public:
    virtual ~MessageBoxBackend() = default;
    // Called on any thread; returns only when the message has been answered.
    virtual MbAnswer show(const MessageRequest& request) = 0;
};

// Every message box of the program goes through here.
class MessageBox
{
public:
    static MbAnswer show(const MessageRequest& request);
    static MbAnswer show(const QString& text, MbIcon icon = MbIcon::None, MbButtons buttons = MbButtons::Ok,
                         const QString& caption = QString());
    static MbAnswer error(const QString& text, const QString& caption = QString());
    static MbAnswer info(const QString& text, const QString& caption = QString());
    static MbAnswer question(const QString& text, MbButtons buttons = MbButtons::YesNo,
                             const QString& caption = QString());

    // Installs the backend for the whole process and returns the one it replaces.
    static std::shared_ptr<MessageBoxBackend> setBackend(std::shared_ptr<MessageBoxBackend> backend);
    // The calling thread's backend when it has one (ThreadMessageBoxBackend), else the process's.
    static std::shared_ptr<MessageBoxBackend> backend();
};

// Gives the calling thread a backend of its own for the lifetime of the object, so that
// operations running side by side (one per line of a poll) each keep their own messages.
class ThreadMessageBoxBackend
{
public:
    explicit ThreadMessageBoxBackend(std::shared_ptr<MessageBoxBackend> backend);
    ~ThreadMessageBoxBackend();
    ThreadMessageBoxBackend(const ThreadMessageBoxBackend&) = delete;
    ThreadMessageBoxBackend& operator=(const ThreadMessageBoxBackend&) = delete;

private:
    std::shared_ptr<MessageBoxBackend> m_previous;
};

// Prints each message to standard error as "error: text" and answers questions with the
// answerer, else with the default button; the answer follows as "-> yes" or "-> no".
class StdErrMessageBox : public MessageBoxBackend
{
public:
    using Answerer = std::function<MbAnswer(const MessageRequest&)>;

    explicit StdErrMessageBox(Answerer answerer = {});
    void setAnswerer(Answerer answerer);
    MbAnswer show(const MessageRequest& request) override;

    static QString iconWord(MbIcon icon);
    static QString answerWord(MbAnswer answer);
    // The block as printed, without the trailing line break.
    static QString formatBlock(const MessageRequest& request, bool isQuestion, MbAnswer answer);

private:
    std::mutex m_mutex;
    Answerer m_answerer;
};

// Keeps every message shown and answers from a script, for tests.
class RecordingMessageBox : public MessageBoxBackend
{
public:
    MbAnswer show(const MessageRequest& request) override;

    void setNextAnswer(MbAnswer answer);
    std::vector<MessageRequest> shown() const;
    QStringList texts() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::deque<MbAnswer> m_answers;
    std::vector<MessageRequest> m_shown;
};

// Installs a backend for the lifetime of the object and restores the previous one after.
class ScopedMessageBoxBackend
{
public:
    explicit ScopedMessageBoxBackend(std::shared_ptr<MessageBoxBackend> backend);
    ~ScopedMessageBoxBackend();
    ScopedMessageBoxBackend(const ScopedMessageBoxBackend&) = delete;
    ScopedMessageBoxBackend& operator=(const ScopedMessageBoxBackend&) = delete;

private:
    std::shared_ptr<MessageBoxBackend> m_previous;
};
