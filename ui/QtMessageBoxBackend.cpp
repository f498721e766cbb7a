#include "QtMessageBoxBackend.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

namespace {

QMessageBox::Icon toQtIcon(MbIcon icon)
{
    switch (icon) {
    case MbIcon::Error:
        return QMessageBox::Critical;
    case MbIcon::Warning:
        return QMessageBox::Warning;
    case MbIcon::Information:
        return QMessageBox::Information;
    case MbIcon::Question:
        return QMessageBox::Question;
    case MbIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSpec
{
    QMessageBox::StandardButton button;
    MbAnswer answer;
    QString text;
};

QList<ButtonSpec> buttonsOf(MbButtons buttons)
{
    const ButtonSpec ok{QMessageBox::Ok, MbAnswer::Ok, u"ОК"_s};
    const ButtonSpec cancel{QMessageBox::Cancel, MbAnswer::Cancel, u"Отмена"_s};
    const ButtonSpec yes{QMessageBox::Yes, MbAnswer::Yes, u"Да"_s};
    const ButtonSpec no{QMessageBox::No, MbAnswer::No, u"Нет"_s};
    const ButtonSpec retry{QMessageBox::Retry, MbAnswer::Retry, u"Повтор"_s};
    switch (buttons) {
    case MbButtons::Ok:
        return {ok};
    case MbButtons::OkCancel:
        return {ok, cancel};
    case MbButtons::YesNo:
        return {yes, no};
    case MbButtons::YesNoCancel:
        return {yes, no, cancel};
    case MbButtons::RetryCancel:
        return {retry, cancel};
    }
    return {ok};
}

} // namespace

QtMessageBoxBackend::QtMessageBoxBackend()
    : m_guiContext(std::make_unique<QObject>())
{
    if (QCoreApplication* app = QCoreApplication::instance())
        m_guiContext->moveToThread(app->thread());
}

QtMessageBoxBackend::~QtMessageBoxBackend() = default;

QString QtMessageBoxBackend::defaultCaption()
{
    return u"Lorn2"_s;
}

MbAnswer QtMessageBoxBackend::show(const MessageRequest& request)
{
    // Without a widget application there is nobody to ask: take the default button.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return request.defaultAnswer();
    if (QThread::currentThread() == m_guiContext->thread())
        return showHere(request);
    MbAnswer answer = request.defaultAnswer();
    QMetaObject::invokeMethod(
        m_guiContext.get(), [this, &request] { return showHere(request); }, Qt::BlockingQueuedConnection,
        &answer);
    return answer;
}

MbAnswer QtMessageBoxBackend::showHere(const MessageRequest& request)
{
    QWidget* parent = QApplication::activeModalWidget();
    if (parent == nullptr)
        parent = QApplication::activeWindow();
    QMessageBox box(toQtIcon(request.icon), request.caption.isEmpty() ? defaultCaption() : request.caption,
                    request.text, QMessageBox::NoButton, parent);
    if (parent == nullptr) {
        // Start-up questions come while the top-most splash window is up; they must not hide behind it.
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    }

    const QList<ButtonSpec> specs = buttonsOf(request.buttons);
    QList<QPair<QAbstractButton*, MbAnswer>> answers;
    for (const ButtonSpec& request : specs) {
        QAbstractButton* button = box.addButton(request.button);
        button->setText(request.text);
        answers.append({button, request.answer});
    }
    box.setDefaultButton(specs.first().button);

    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (const auto& [button, answer] : answers) {
        if (button == clicked)
            return answer;
    }
    // Closed without a button: the escape answer a Windows message box would give.
    for (const ButtonSpec& request : specs) {
        if (request.answer == MbAnswer::Cancel)
            return MbAnswer::Cancel;
    }
    return specs.size() == 1 ? specs.first().answer : MbAnswer::No;
}
