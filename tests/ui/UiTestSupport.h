#pragma once

#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/CLorn2Doc.h"
#include "app/ProfileStore.h"
#include "storage/CDevData.h"
#include "ui/CMainFrame.h"
#include "ui/FileDialog.h"

namespace uitest {

// A working folder with accounts made by the storage layer, a document that loaded them and the
// main frame as its shell.
struct FrameFixture
{
    struct Account
    {
        int serial;
        int type;
        QString consumer;
    };

    explicit FrameFixture(const std::vector<Account>& accounts = {})
        : profile(dir.filePath(QStringLiteral("lorn2.ini")))
        , document(profile, dir.path())
    {
        // Accounts read the working folder's printer table; without one each load complains.
        QFile esc(dir.filePath(QStringLiteral("esc.ini")));
        esc.open(QIODevice::WriteOnly);
        esc.close();
        std::vector<CDevData> made;
        for (const Account& a : accounts) {
            CDevData record;
            record.m_serial = a.serial;
            record.m_type = a.type;
            record.m_consumer = a.consumer;
            record.m_folder = record.accountFolder(dir.path());
            accounts::addAccount(made, record, dir.path());
        }
        document.OnNewDocument();
        frame = std::make_unique<CMainFrame>(document);
        FileDialog::clearNextFileNames();
    }

    QTemporaryDir dir;
    ProfileStore profile;
    CLorn2Doc document;
    std::unique_ptr<CMainFrame> frame;
};

inline int& modalScriptGeneration()
{
    static int generation = 0;
    return generation;
}

// Drops the scripts still waiting, so that a dialog that never came cannot be answered by the
// script of an earlier test. Each test class calls it in cleanup().
inline void cancelModalScripts()
{
    ++modalScriptGeneration();
}

// Runs `script` on the next modal dialog of type T once it is up; gives up (rejecting whatever is
// modal) after a few seconds so a broken test cannot hang in exec().
template<typename T>
void onNextModal(QObject* context, std::function<void(T&)> script, int triesLeft = 300,
                 int generation = modalScriptGeneration())
{
    QTimer::singleShot(10, context, [context, script, triesLeft, generation] {
        if (generation != modalScriptGeneration())
            return;
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            script(*dialog);
            return;
        }
        if (triesLeft > 0) {
            onNextModal<T>(context, script, triesLeft - 1, generation);
            return;
        }
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            modal->reject();
    });
}

inline QAbstractButton* buttonByText(const QWidget& parent, const QString& text)
{
    for (QAbstractButton* button : parent.findChildren<QAbstractButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// "Menu/Submenu|caption|command" for every item of a menu, "-" for separators.
inline void describeMenu(const QMenu* menu, const QString& path, QStringList& out)
{
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            out << path + QStringLiteral("|-");
        } else if (action->menu() != nullptr) {
            out << path + u'|' + action->text() + QStringLiteral("|>");
            describeMenu(action->menu(), path + u'/' + action->text(), out);
        } else {
            out << path + u'|' + action->text() + u'|' + QString::number(action->data().toInt());
        }
    }
}

// Saves a picture for a person to look at when LORN2_SCREENSHOT_DIR names a folder.
inline void keepScreenshot(const QImage& image, const QString& name)
{
    const QString folder = qEnvironmentVariable("LORN2_SCREENSHOT_DIR");
    if (!folder.isEmpty() && QDir().mkpath(folder))
        image.save(QDir(folder).filePath(name));
}

inline void keepOutputFile(const QByteArray& bytes, const QString& name)
{
    const QString folder = qEnvironmentVariable("LORN2_SCREENSHOT_DIR");
    QFile file(QDir(folder).filePath(name));
    if (!folder.isEmpty() && QDir().mkpath(folder) && file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

} // namespace uitest
