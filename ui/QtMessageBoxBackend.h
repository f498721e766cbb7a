#pragma once

#include <memory>

#include "base/MessageBox.h"

class QObject;

// Shows every message of the program as a QMessageBox on the user-interface thread. A caller on
// another thread waits until the user has answered.
class QtMessageBoxBackend : public MessageBoxBackend
{
public:
    // Create it on the user-interface thread, after the QApplication.
    QtMessageBoxBackend();
    ~QtMessageBoxBackend() override;

    MbAnswer show(const MessageRequest& request) override;

    static QString defaultCaption();

private:
    MbAnswer showHere(const MessageRequest& request);

    std::unique_ptr<QObject> m_guiContext;
};
