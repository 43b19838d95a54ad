#include "FrmDirectory.h"

#include "Controls.h"
#include "Dialogs.h"
#include "DvdEngine.h"
#include "Logging.h"
#include "PlaybackCommands.h"
#include "PlayerHost.h"
#include "Screen.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyle>

namespace kavelo {
namespace {

constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;

} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (!item)
            return;
        if (isImage(item)) {
            setCurrentItem(item); // the image is the one chosen
            emit imageActivated(item->data(kPathRole).toString());
        } else {
            setPath(item->data(kPathRole).toString());
        }
    });
}

bool FolderList::isImage(const QListWidgetItem* item) {
    return item && item->data(kImageRole).toBool();
}

QString FolderList::chosenPath() const {
    const QListWidgetItem* item = currentItem();
    return isImage(item) ? item->data(kPathRole).toString() : m_path;
}

bool FolderList::setPath(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return false;
    QStringList entries;
    QList<QListWidgetItem*> items;
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirIcon);
    QString current = path;
    if (info.isDir()) {
        QDir dir(info.absoluteFilePath());
        if (!dir.isReadable())
            return false;
        current = QDir::cleanPath(dir.absolutePath());
        // The folders from the top down to the current one, indented by depth.
        QStringList chain;
        for (QDir up(current);;) {
            chain.prepend(up.absolutePath());
            if (up.isRoot() || !up.cdUp())
                break;
        }
        int depth = 0;
        for (const QString& p : chain) {
            const QString name = QDir(p).isRoot() ? p : QFileInfo(p).fileName();
            auto* item = new QListWidgetItem(open, QString(depth * 2, QLatin1Char(' ')) + name);
            item->setData(kPathRole, p);
            items << item;
            ++depth;
        }
        const QStringList children = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                                   QDir::Name | QDir::IgnoreCase);
        for (const QString& child : children) {
            auto* item = new QListWidgetItem(closed, QString(depth * 2, QLatin1Char(' ')) + child);
            item->setData(kPathRole, dir.absoluteFilePath(child));
            items << item;
        }
        // Disc images below the folders, with a disc icon and their whole file name.
        const QIcon disc = style()->standardIcon(QStyle::SP_DriveCDIcon);
        const QStringList images = dir.entryList(
            {QStringLiteral("*.iso")}, QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
        for (const QString& image : images) {
            auto* item = new QListWidgetItem(disc, QString(depth * 2, QLatin1Char(' ')) + image);
            item->setData(kPathRole, dir.absoluteFilePath(image));
            item->setData(kImageRole, true);
            item->setToolTip(QStringLiteral("Disc image"));
            items << item;
        }
    } else {
        // A disc in a drive that is not mounted: the drive itself is the only entry.
        auto* item = new QListWidgetItem(open, path);
        item->setData(kPathRole, path);
        items << item;
    }
    clear();
    int currentRow = 0;
    for (QListWidgetItem* item : items) {
        addItem(item);
        if (item->data(kPathRole).toString() == current)
            currentRow = row(item);
    }
    setCurrentRow(currentRow);
    m_path = current;
    emit pathChanged(m_path);
    return true;
}

FrmDirectory::FrmDirectory(HostProvider host, IDialogs& dialogs, IDrives& drives,
                           const ScreenMetrics& screen, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_host(std::move(host)), m_dialogs(dialogs), m_drives(drives) {
    setObjectName(QStringLiteral("frmDirectory"));
    setWindowTitle(QStringLiteral("Change Drive/Directory"));
    setFont(dialogFont());
    setFixedSize(screen.toPixels(4335), screen.toPixels(3870));
    // The frames lie under the controls they surround.
    Frame1 = new QFrame(this);
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    placeControl(Frame1, "Frame1", QRect(120, 120, 4095, 2775), screen);
    Frame2 = new QFrame(this);
    Frame2->setFrameStyle(QFrame::Box | QFrame::Sunken);
    placeControl(Frame2, "Frame2", QRect(120, 3000, 4095, 735), screen);

    drvDrive = new QComboBox(this);
    placeControl(drvDrive, "drvDrive", QRect(360, 360, 3615, 315), screen);
    dirDirectory = new FolderList(this);
    placeControl(dirDirectory, "dirDirectory", QRect(360, 840, 3615, 1890), screen);
    cmdOk = new QPushButton(QStringLiteral("Play"), this);
    placeControl(cmdOk, "cmdOk", QRect(720, 3240, 1335, 375), screen);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    placeControl(cmdCancel, "cmdCancel", QRect(2280, 3240, 1335, 375), screen);
    setTabOrder(drvDrive, dirDirectory);
    setTabOrder(dirDirectory, cmdOk);
    setTabOrder(cmdOk, cmdCancel);
    // Enter on a focused button presses that button; anywhere else it plays (keyPressEvent).
    cmdOk->setAutoDefault(true);
    cmdCancel->setAutoDefault(true);

    // The lists start at the process's current drive and folder.
    const QString cwd = QDir::currentPath();
    try {
        m_driveList = m_drives.drives();
        const auto currentDrive = m_drives.driveOf(cwd);
        int currentIndex = -1;
        for (const Drive& d : m_driveList) {
            drvDrive->addItem(d.label);
            if (currentDrive && d.root == currentDrive->root && !d.optical)
                currentIndex = drvDrive->count() - 1;
        }
        drvDrive->setCurrentIndex(currentIndex);
    } catch (...) {
        logging::noteAbsorbed();
    }
    dirDirectory->setPath(cwd);

    connect(drvDrive, &QComboBox::activated, this, [this](int index) { drvDrive_Change(index); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    // A double-clicked disc image is chosen and played at once.
    connect(dirDirectory, &FolderList::imageActivated, this, [this] { cmdOk_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void FrmDirectory::drvDrive_Change(int index) noexcept {
    try {
        if (index < 0 || index >= m_driveList.size())
            throw EngineError("no such drive");
        const auto folder = m_drives.openDrive(m_driveList[index]);
        if (!folder || !dirDirectory->setPath(*folder))
            throw EngineError("drive cannot be read");
    } catch (...) {
        logging::noteAbsorbed();
        showMessage(m_dialogs, this, message::kNoSuchDrive);
    }
}

bool playDiscAt(IPlayerHost* host, const QString& path, IDialogs& dialogs,
                QWidget* messageParent) noexcept {
    try {
        if (!host)
            throw EngineError("no player");
        host->engine().SetDVDDirectory(path);
    } catch (...) {
        logging::noteAbsorbed();
        showMessage(dialogs, messageParent, message::kNoSuchDrive);
        return false;
    }
    host->dPlay();
    return true;
}

void FrmDirectory::cmdOk_Click() noexcept {
    IPlayerHost* host = nullptr;
    QString path;
    try {
        path = dirDirectory->chosenPath();
        host = m_host ? m_host() : nullptr;
    } catch (...) {
        logging::noteAbsorbed();
        host = nullptr;
    }
    if (playDiscAt(host, path, m_dialogs, this))
        close();
}

void FrmDirectory::cmdCancel_Click() noexcept {
    close();
}

void FrmDirectory::keyPressEvent(QKeyEvent* event) {
    // Keys the focused control did not take: Enter is the default button's, Esc Cancel's.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            cmdOk_Click();
            return;
        case Qt::Key_Escape:
            event->accept();
            cmdCancel_Click();
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

} // namespace kavelo
