#include "MessageBox.h"

#include <utility>

#include <cstdio>

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace {

std::mutex g_backendMutex;
std::shared_ptr<MessageBoxBackend> g_backend;
thread_local std::shared_ptr<MessageBoxBackend> t_backend;

bool isQuestion(const MessageRequest& r)
{
    return r.buttons != MbButtons::Ok;
}

} // namespace

MbAnswer MessageRequest::defaultAnswer() const
{
    switch (buttons) {
    case MbButtons::Ok:
    case MbButtons::OkCancel:
        return MbAnswer::Ok;
    case MbButtons::YesNo:
    case MbButtons::YesNoCancel:
        return MbAnswer::Yes;
    case MbButtons::RetryCancel:
        return MbAnswer::Retry;
    }
    return MbAnswer::Ok;
}

MbAnswer MessageBox::show(const MessageRequest& request)
{
    std::shared_ptr<MessageBoxBackend> b = backend();
    if (!b) {
        // No front end installed yet: never lose a message.
        static StdErrMessageBox fallback;
        return fallback.show(request);
    }
    return b->show(request);
}

MbAnswer MessageBox::show(const QString& text, MbIcon icon, MbButtons buttons, const QString& caption)
{
    return show(MessageRequest{text, caption, icon, buttons});
}

MbAnswer MessageBox::error(const QString& text, const QString& caption)
{
    return show(text, MbIcon::Error, MbButtons::Ok, caption);
}

MbAnswer MessageBox::info(const QString& text, const QString& caption)
{
    return show(text, MbIcon::Information, MbButtons::Ok, caption);
}

MbAnswer MessageBox::question(const QString& text, MbButtons buttons, const QString& caption)
{
    return show(text, MbIcon::Question, buttons, caption);
}

std::shared_ptr<MessageBoxBackend> MessageBox::setBackend(std::shared_ptr<MessageBoxBackend> backend)
{
    std::lock_guard lock(g_backendMutex);
    std::swap(g_backend, backend);
    return backend;
}

std::shared_ptr<MessageBoxBackend> MessageBox::backend()
{
    if (t_backend)
        return t_backend;
    std::lock_guard lock(g_backendMutex);
    return g_backend;
}

ThreadMessageBoxBackend::ThreadMessageBoxBackend(std::shared_ptr<MessageBoxBackend> backend)
    : m_previous(std::exchange(t_backend, std::move(backend)))
{
}

ThreadMessageBoxBackend::~ThreadMessageBoxBackend()
{
    t_backend = std::move(m_previous);
}

StdErrMessageBox::StdErrMessageBox(Answerer answerer)
    : m_answerer(std::move(answerer))
{
}

void StdErrMessageBox::setAnswerer(Answerer answerer)
{
    std::lock_guard lock(m_mutex);
    m_answerer = std::move(answerer);
}

QString StdErrMessageBox::iconWord(MbIcon icon)
{
    switch (icon) {
    case MbIcon::Error:
        return u"error:"_s;
    case MbIcon::Warning:
        return u"warning:"_s;
    case MbIcon::Question:
        return u"question:"_s;
    case MbIcon::Information:
    case MbIcon::None:
        break;
    }
    return u"info:"_s;
}

QString StdErrMessageBox::answerWord(MbAnswer answer)
{
    switch (answer) {
    case MbAnswer::Yes:
        return u"yes"_s;
    case MbAnswer::No:
        return u"no"_s;
    case MbAnswer::Ok:
        return u"ok"_s;
    case MbAnswer::Cancel:
        return u"cancel"_s;
    case MbAnswer::Retry:
        return u"retry"_s;
    }
    return u"ok"_s;
}

QString StdErrMessageBox::formatBlock(const MessageRequest& request, bool question, MbAnswer answer)
{
    // A question shows its question word even when the program gave it another icon.
    const MbIcon icon = question && request.icon == MbIcon::None ? MbIcon::Question : request.icon;
    QString block = iconWord(icon) + u' ' + request.text;
    if (question)
        block += u"\n-> "_s + answerWord(answer);
    return block;
}

MbAnswer StdErrMessageBox::show(const MessageRequest& request)
{
    MbAnswer answer = request.defaultAnswer();
    const bool question = isQuestion(request);
    {
        std::lock_guard lock(m_mutex);
        if (question && m_answerer)
            answer = m_answerer(request);
        const QByteArray out = formatBlock(request, question, answer).toUtf8() + '\n';
        std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stderr);
        std::fflush(stderr);
    }
    return answer;
}

MbAnswer RecordingMessageBox::show(const MessageRequest& request)
{
    std::lock_guard lock(m_mutex);
    m_shown.push_back(request);
    if (m_answers.empty())
        return request.defaultAnswer();
    const MbAnswer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

void RecordingMessageBox::setNextAnswer(MbAnswer answer)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<MessageRequest> RecordingMessageBox::shown() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

QStringList RecordingMessageBox::texts() const
{
    std::lock_guard lock(m_mutex);
    QStringList out;
    for (const MessageRequest& r : m_shown)
        out << r.text;
    return out;
}

void RecordingMessageBox::clear()
{
    std::lock_guard lock(m_mutex);
    m_shown.clear();
    m_answers.clear();
}

ScopedMessageBoxBackend::ScopedMessageBoxBackend(std::shared_ptr<MessageBoxBackend> backend)
    : m_previous(MessageBox::setBackend(std::move(backend)))
{
}

ScopedMessageBoxBackend::~ScopedMessageBoxBackend()
{
    MessageBox::setBackend(std::move(m_previous));
}
