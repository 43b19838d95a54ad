#include "FrmSingle.h"

#include "Controls.h"
#include "Dialogs.h"
#include "FrameWatch.h"
#include "Logging.h"
#include "MciInterpreter.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace kavelo {

namespace {

constexpr int kTimerMs = 500;

void paintBlack(QWidget* w) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

} // namespace

FrmSingle::FrmSingle(IDialogs& dialogs, std::unique_ptr<IMci> mci, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_dialogs(dialogs), m_mci(mci ? std::move(mci) : std::make_unique<MciInterpreter>()),
      m_module(*m_mci), m_screen(primaryScreenMetrics()) {
    setObjectName(QStringLiteral("frmSingle"));
    // The resize rule counts the frame in, so it runs again once the frame is known: the first
    // time from the designed size, which a rule run without the frame has enlarged.
    m_frame = new FrameWatch(this, [this] {
        if (!m_framed) {
            m_framed = true;
            resize(m_screen.toPixels(kDesignedWidth), m_screen.toPixels(kDesignedHeight));
        }
        Form_Resize();
    });
    setWindowTitle(QString::fromLatin1(kCaption));
    paintBlack(this);
    setAcceptDrops(true);

    const auto place = [this](QWidget* w, const char* name, int left, int top, int width,
                              int height) {
        placeControl(w, name, QRect(left, top, width, height), m_screen);
    };

    const QFont labelFont = dialogFont(true);
    const auto label = [&](const char* name, const QString& text, int left, int top, int width,
                           int height) {
        auto* l = new QLabel(text, this);
        place(l, name, left, top, width, height);
        l->setFont(labelFont);
        l->setWordWrap(true);
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        paintBlack(l);
        return l;
    };
    const auto button = [&](const char* name, const char* caption, int left) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        place(b, name, left, 6480, 1095, 375);
        return b;
    };

    sliTime = new SeekSlider(this);
    place(sliTime, "sliTime", 0, 0, 8415, 375);
    sliTime->setRange(0, 10);
    Label1 = label("Label1", QString::fromLatin1(kDescription), 120, 600, 8055, 495);
    FrameVideo = new QFrame(this);
    place(FrameVideo, "FrameVideo", 120, 1080, 8175, 5295);
    FrameVideo->setFrameStyle(QFrame::NoFrame);
    paintBlack(FrameVideo);
    cmdOpen = button("cmdOpen", "Open", 600);
    cmdPlay = button("cmdPlay", "Play", 1800);
    cmdPause = button("cmdPause", "Pause", 3000);
    cmdStop = button("cmdStop", "Stop", 4200);
    cmdResume = button("cmdResume", "Resume", 5400);
    cmdClose = button("cmdClose", "Close", 6600);
    lblCurrentTime =
        label("lblCurrentTime", QStringLiteral("Current Frame:"), 480, 7080, 3495, 255);
    lblTotalTime = label("lblTotalTime", QStringLiteral("Total Frames:"), 4440, 7080, 3495, 255);
    timTime = new QTimer(this);
    timTime->setObjectName(QStringLiteral("timTime"));
    timTime->setInterval(kTimerMs);

    setFileButtons(false);
    QWidget::setTabOrder(cmdOpen, cmdPlay);
    QWidget::setTabOrder(cmdPlay, cmdPause);
    QWidget::setTabOrder(cmdPause, cmdStop);
    QWidget::setTabOrder(cmdStop, cmdResume);
    QWidget::setTabOrder(cmdResume, cmdClose);
    QWidget::setTabOrder(cmdClose, sliTime);

    connect(cmdOpen, &QPushButton::clicked, this, &FrmSingle::cmdOpen_Click);
    connect(cmdPlay, &QPushButton::clicked, this, &FrmSingle::cmdPlay_Click);
    connect(cmdPause, &QPushButton::clicked, this, &FrmSingle::cmdPause_Click);
    connect(cmdStop, &QPushButton::clicked, this, &FrmSingle::cmdStop_Click);
    connect(cmdResume, &QPushButton::clicked, this, &FrmSingle::cmdResume_Click);
    connect(cmdClose, &QPushButton::clicked, this, &FrmSingle::cmdClose_Click);
    connect(timTime, &QTimer::timeout, this, &FrmSingle::timTime_Timer);
    connect(sliTime, &SeekSlider::mouseDown, this, &FrmSingle::sliTime_MouseDown);
    connect(sliTime, &SeekSlider::mouseUp, this, &FrmSingle::sliTime_MouseUp);

    resize(m_screen.toPixels(kDesignedWidth), m_screen.toPixels(kDesignedHeight));
    Form_Load();
}

FrmSingle::~FrmSingle() {
    // A window destroyed without being closed (the program's Exit) still lets go of its
    // device before the frame that hosts the picture goes.
    Form_Unload();
}

QString FrmSingle::deviceTypeFor(const QString& fileName) {
    return fileName.right(4).toLower() == QLatin1String(".avi") ? QStringLiteral("AviVideo")
                                                                : QStringLiteral("MPEGVideo");
}

std::optional<QString> FrmSingle::droppedMediaFile(const QList<QUrl>& urls) {
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return std::nullopt;
    // Only a regular file: a device or a pipe named like a medium could wait forever.
    const QFileInfo file(urls.front().toLocalFile());
    if (!file.isFile())
        return std::nullopt;
    // The filter's first entry: "All Supported Files|<patterns>|...".
    const QStringList parts = QString::fromLatin1(kFilter).split(QLatin1Char('|'));
    const QStringList patterns = parts.value(1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& pattern : patterns) {
        const QRegularExpression wildcard = QRegularExpression::fromWildcard(
            pattern, Qt::CaseInsensitive, QRegularExpression::UnanchoredWildcardConversion);
        const QRegularExpression whole(QRegularExpression::anchoredPattern(wildcard.pattern()),
                                       QRegularExpression::CaseInsensitiveOption);
        if (whole.match(file.fileName()).hasMatch())
            return file.absoluteFilePath();
    }
    return std::nullopt;
}

bool FrmSingle::acceptsDrop(const QMimeData* mime) const {
    // Open is there only while no file is open; so is a drop.
    return cmdOpen->isEnabled() && mime && mime->hasUrls() && droppedMediaFile(mime->urls());
}

void FrmSingle::answerDrag(QDragMoveEvent* event) noexcept {
    try {
        if (acceptsDrop(event->mimeData()) && event->possibleActions().testFlag(Qt::CopyAction)) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
            return;
        }
    } catch (...) {
        logging::noteAbsorbed();
    }
    event->ignore();
}

void FrmSingle::dragEnterEvent(QDragEnterEvent* event) {
    answerDrag(event);
}

void FrmSingle::dragMoveEvent(QDragMoveEvent* event) {
    answerDrag(event);
}

void FrmSingle::dropEvent(QDropEvent* event) {
    try {
        if (!acceptsDrop(event->mimeData())) {
            event->ignore();
            return;
        }
        const QString name = *droppedMediaFile(event->mimeData()->urls());
        event->setDropAction(Qt::CopyAction);
        event->accept();
        // After the drop has been answered: the source is not kept waiting by an error box.
        QTimer::singleShot(0, this, [this, name] {
            if (cmdOpen->isEnabled())
                trap([&] { openChosen(name); });
        });
    } catch (...) {
        logging::noteAbsorbed();
        event->ignore();
    }
}

void FrmSingle::trap(const std::function<void()>& steps) {
    try {
        steps();
    } catch (...) {
        logging::noteAbsorbed();
        try {
            m_dialogs.message(this, QString::fromLatin1(kErrorMessage));
        } catch (...) {
            logging::noteAbsorbed();
        }
    }
}

void FrmSingle::setFileButtons(bool fileOpen) {
    cmdPlay->setEnabled(fileOpen);
    cmdPause->setEnabled(fileOpen);
    cmdStop->setEnabled(fileOpen);
    cmdResume->setEnabled(fileOpen);
    cmdClose->setEnabled(fileOpen);
    cmdOpen->setEnabled(!fileOpen);
}

void FrmSingle::Form_Load() {
    trap([this] {
        m_module.CheckMCIDrivers();
        sliTime->resize(m_frame->outerGeometry().width(), sliTime->height());
    });
}

void FrmSingle::Form_Resize() {
    try {
        // Outer sizes include the window frame (none without a window manager, and none
        // known before the window manager has framed the window: the rule runs again then).
        const QMargins frame = m_frame->frame();
        const int frameW = frame.left() + frame.right();
        const int frameH = frame.top() + frame.bottom();
        int w = width();
        int h = height();
        if (m_screen.toTwips(h + frameH) < kMinOuterHeight)
            h = m_screen.toPixels(kMinOuterHeight) - frameH;
        if (m_screen.toTwips(w + frameW) < kMinOuterWidth)
            w = m_screen.toPixels(kMinOuterWidth) - frameW;
        if (w != width() || h != height())
            resize(w, h);
        // The size just set, whether or not the windowing system has applied it yet.
        const int H = m_screen.toTwips(h + frameH);
        const int W = m_screen.toTwips(w + frameW);
        FrameVideo->resize(FrameVideo->width(), m_screen.toPixels(H - 2650));
        FrameVideo->resize(m_screen.toPixels(W - 360), FrameVideo->height());
        for (QPushButton* b : {cmdOpen, cmdPlay, cmdPause, cmdResume, cmdClose, cmdStop})
            b->move(b->x(), m_screen.toPixels(H - 1470));
        for (QLabel* l : {lblCurrentTime, lblTotalTime})
            l->move(l->x(), m_screen.toPixels(H - 870));
        sliTime->resize(m_screen.toPixels(W), sliTime->height());
    } catch (...) {
        // Nothing to report from a resize.
        logging::noteAbsorbed();
    }
}

void FrmSingle::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_openFile.clear();
    try {
        m_module.mClose();
        timTime->stop();
    } catch (...) {
        // The window closes whatever happens.
        logging::noteAbsorbed();
    }
}

void FrmSingle::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void FrmSingle::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void FrmSingle::cmdOpen_Click() {
    trap([this] {
        const QString name = m_dialogs.openFile(this, QString::fromLatin1(kFilter));
        if (name.isEmpty())
            return;
        openChosen(name);
    });
}

void FrmSingle::openChosen(const QString& name) {
    m_module.mOpen(FrameVideo->winId(), name, deviceTypeFor(name));
    m_openFile = name;
    m_unloaded = false;
    setFileButtons(true);
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t w = 0;
    std::int32_t h = 0;
    m_module.mPutWindow(x, y, w, h);
}

void FrmSingle::cmdPlay_Click() {
    trap([this] {
        m_module.mPlay(QString(), QString());
        sliTime->setEnabled(true);
        // A failed length (-1) leaves the slider at its smallest range; its minimum stays 0.
        sliTime->setMaximum(std::max(0, m_module.mTotalFrames()));
        timTime->start();
        lblTotalTime->setText(QStringLiteral("Total Frames: %1").arg(m_module.mTotalFrames()));
    });
}

void FrmSingle::cmdPause_Click() {
    trap([this] { m_module.mPause(); });
}

void FrmSingle::cmdResume_Click() {
    trap([this] { m_module.mResume(); });
}

void FrmSingle::cmdStop_Click() {
    trap([this] {
        m_module.mStop();
        timTime->stop();
        sliTime->setValue(0);
        sliTime->setEnabled(false);
    });
}

void FrmSingle::cmdClose_Click() {
    trap([this] {
        m_module.mClose();
        m_openFile.clear();
        setFileButtons(false);
        timTime->stop();
        sliTime->setValue(0);
        sliTime->setEnabled(false);
    });
}

void FrmSingle::timTime_Timer() {
    trap([this] {
        sliTime->setValue(m_module.mCurrentFrame());
        lblCurrentTime->setText(QStringLiteral("Current Frame: %1").arg(m_module.mCurrentFrame()));
    });
}

void FrmSingle::sliTime_MouseDown() {
    trap([this] { timTime->stop(); });
}

void FrmSingle::sliTime_MouseUp() {
    trap([this] {
        const std::int32_t frame = sliTime->value();
        m_module.mSeekPlay(frame);
        timTime->start();
    });
}

bool FrmSingle::videoPlaying() noexcept {
    QString mode;
    if (!m_mci ||
        m_mci->sendString(QString::fromLatin1(mci::kStatusMode), &mode, mci::kReplyBuffer) != 0 ||
        mode != QLatin1String("playing"))
        return false;
    // The device shows its picture in a window of its own inside the frame; a medium
    // without pictures shows none.
    const auto pictures = FrameVideo->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    return std::any_of(pictures.begin(), pictures.end(),
                       [](const QWidget* w) { return !w->isHidden(); });
}

} // namespace kavelo

namespace kavelo {

QString FrmSingle::mode() noexcept {
    QString reply;
    try {
        if (!m_mci || m_openFile.isEmpty() ||
            m_mci->sendString(QString::fromLatin1(mci::kStatusMode), &reply, mci::kReplyBuffer) !=
                0)
            return {};
    } catch (...) {
        logging::noteAbsorbed();
        return {};
    }
    return reply;
}

std::optional<FrmSingle::Times> FrmSingle::times() noexcept {
    try {
        return readTimes();
    } catch (...) {
        logging::noteAbsorbed();
        return std::nullopt;
    }
}

std::optional<FrmSingle::Times> FrmSingle::readTimes() {
    if (!m_mci || m_openFile.isEmpty())
        return std::nullopt;
    const auto ask = [&](const char* command) -> std::optional<qint64> {
        QString reply;
        if (m_mci->sendString(QString::fromLatin1(command), &reply, mci::kReplyBuffer) != 0)
            return std::nullopt;
        const auto n = leadingNumber(reply);
        return n ? std::optional<qint64>(*n) : std::nullopt;
    };
    const auto format = [&](const char* command) {
        QString reply;
        return m_mci->sendString(QString::fromLatin1(command), &reply, mci::kReplyBuffer) == 0;
    };
    Times t;
    std::optional<qint64> length;
    std::optional<qint64> position;
    if (format("set mpeg time format milliseconds")) {
        length = ask(mci::kStatusLength);
        position = ask(mci::kStatusPosition);
    }
    format(mci::kTimeFormatFrames);
    const std::optional<qint64> frames = ask(mci::kStatusLength);
    if (!length || !position || !frames)
        return std::nullopt;
    t.lengthMs = *length;
    t.positionMs = *position;
    t.lengthFrames = *frames;
    return t;
}

} // namespace kavelo
