#pragma once

#include "Drives.h"

#include <QListWidget>
#include <QWidget>

#include <functional>

class QComboBox;
class QFrame;
class QPushButton;

namespace kavelo {

class IDialogs;
class IPlayerHost;
struct ScreenMetrics;

// A folder list: the current path's folders from the top down, then the folders inside it,
// then the disc images (.iso files) inside it. A double click opens a folder; a single click
// only highlights it. A disc image is chosen by highlighting it; a double click plays it.
class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);

    QString path() const { return m_path; }
    // Opens `path`; false (and the list unchanged) when it cannot be read.
    bool setPath(const QString& path);
    // The place to play: the highlighted disc image, otherwise the open folder.
    QString chosenPath() const;
    // Whether the entry is a disc image rather than a folder.
    static bool isImage(const QListWidgetItem* item);

signals:
    void pathChanged(const QString& path);
    // A disc image was double-clicked.
    void imageActivated(const QString& path);

private:
    QString m_path;
};

// Points the main window's engine at `path` and plays there, as the dialog's Play does: when
// there is no main window or its engine refuses the place, the message "No such
// Drive/Directory" (over `messageParent`) and false; otherwise the main window's Play, which
// reports its own failure, and true.
bool playDiscAt(IPlayerHost* host, const QString& path, IDialogs& dialogs,
                QWidget* messageParent) noexcept;

// Points the DVD engine at another drive or folder and plays from there. Enter plays (the
// default button) and Esc cancels, as in a dialog.
class FrmDirectory : public QWidget {
    Q_OBJECT
public:
    using HostProvider = std::function<IPlayerHost*()>;

    // `host` gives the main window, opening it afresh when it has been closed.
    FrmDirectory(HostProvider host, IDialogs& dialogs, IDrives& drives, const ScreenMetrics& screen,
                 QWidget* parent = nullptr);

    QComboBox* drvDrive = nullptr;
    FolderList* dirDirectory = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;
    QFrame* Frame1 = nullptr;
    QFrame* Frame2 = nullptr;

    void drvDrive_Change(int index) noexcept;
    void cmdOk_Click() noexcept;
    void cmdCancel_Click() noexcept;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    HostProvider m_host;
    IDialogs& m_dialogs;
    IDrives& m_drives;
    QList<Drive> m_driveList;
};

} // namespace kavelo
