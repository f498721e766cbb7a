#pragma once

#include <QDialog>

#include "app/Shell.h"

class QPushButton;

// Asks whether a deleted account's files are deleted or moved to the archive folder.
class CDelTSFilesDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CDelTSFilesDlg(QWidget* parent = nullptr);

    // Cancel until a button chose otherwise.
    DeleteFilesChoice choice() const { return m_choice; }

    QPushButton* deleteButton() const { return m_delete; }
    QPushButton* moveButton() const { return m_move; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    void choose(DeleteFilesChoice choice);

    DeleteFilesChoice m_choice = DeleteFilesChoice::Cancel;
    QPushButton* m_delete = nullptr;
    QPushButton* m_move = nullptr;
    QPushButton* m_cancel = nullptr;
};
