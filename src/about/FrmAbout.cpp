#include "FrmAbout.h"

#include "Logging.h"
#include "Screen.h"
#include "SysInfo.h"

#include <QConicalGradient>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>

#include <exception>

namespace kavelo {

namespace {

// Window and control sizes, in twips.
constexpr int kClientWidth = 4500;
constexpr int kClientHeight = 3885;
constexpr int kRuleLeft = 120;
constexpr int kRuleRight = 4380;
constexpr int kRuleTop = 3120;

const char* const kCredit = "Kavelo by the Kavelo team";
const char* const kMaker = "Kavelo Software, 2024";
const char* const kWebSite = "News and updates: kavelo.example.org";
const char* const kDonation =
    "Donations help: kavelo.example.org/donate or donate.html beside the program.";

QFont verdanaBold() {
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(8.25);
    font.setBold(true);
    return font;
}

} // namespace

namespace {

// Paints the disc picture within a 54 × 56 box at the painter's origin.
void paintDisc(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(27.0, 28.0);
    const qreal radius = 25.5;

    // A disc: silver with a faint rainbow sheen, a lighter middle and the centre hole.
    QConicalGradient sheen(centre, 30.0);
    const QColor stops[] = {QColor(0xc9, 0xd0, 0xdc), QColor(0x9f, 0xb8, 0xe8),
                            QColor(0xd8, 0xdd, 0xe6), QColor(0xe6, 0xb9, 0xc8),
                            QColor(0xc9, 0xd0, 0xdc), QColor(0xe8, 0xd7, 0xa8),
                            QColor(0xd8, 0xdd, 0xe6), QColor(0xa9, 0xc6, 0xe8)};
    constexpr int n = static_cast<int>(std::size(stops));
    for (int i = 0; i < n; ++i)
        sheen.setColorAt(static_cast<qreal>(i) / n, stops[i]);
    sheen.setColorAt(1.0, stops[0]);

    QPainterPath disc;
    disc.addEllipse(centre, radius, radius);
    disc.addEllipse(centre, 4.0, 4.0); // odd-even fill leaves the hole open
    p.setPen(QPen(QColor(0x3a, 0x44, 0x5a), 1.0));
    p.setBrush(sheen);
    p.drawPath(disc);

    QRadialGradient light(centre, radius);
    light.setColorAt(0.0, QColor(255, 255, 255, 150));
    light.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawPath(disc);

    // The clear hub ring.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x5a, 0x64, 0x7a), 1.2));
    p.drawEllipse(centre, 9.0, 9.0);
}

} // namespace

QPixmap FrmAbout::picture() {
    QPixmap pixmap(54, 56);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    paintDisc(p);
    return pixmap;
}

QIcon FrmAbout::discIcon() {
    QIcon icon;
    for (const int size : {32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        const qreal scale = size / 56.0;
        p.translate((size - 54 * scale) / 2, 0);
        p.scale(scale, scale);
        paintDisc(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

FrmAbout::FrmAbout(IDialogs& dialogs, IRegistry& registry, IProgramStarter& starter,
                   QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_dialogs(dialogs), m_registry(registry), m_starter(starter) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Kavelo"));

    const ScreenMetrics screen = primaryScreenMetrics();
    setFixedSize(screen.toPixels(kClientWidth), screen.toPixels(kClientHeight));
    const auto place = [&](QWidget* w, const char* name, int left, int top, int width, int height) {
        w->setObjectName(QLatin1String(name));
        w->setGeometry(screen.toPixels(QRect(left, top, width, height)));
    };
    const auto label = [&](const char* name, const char* text, const QFont& font, int left, int top,
                           int width, int height) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setFont(font);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(l, name, left, top, width, height);
        return l;
    };

    Picture1 = new QLabel(this);
    Picture1->setPixmap(picture());
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(Picture1, "Picture1", 240, 120, 855, 855);

    QFont titleFont(QStringLiteral("Arial Rounded MT Bold"));
    titleFont.setPointSize(24);
    titleFont.setBold(true);
    lblTitle = label("lblTitle", "Kavelo", titleFont, 1440, 120, 2445, 600);
    lblVersion = label("lblVersion", "Version: 1.2", verdanaBold(), 2160, 840, 1965, 225);
    lblDescription = label("lblDescription", kCredit, verdanaBold(), 960, 1200, 2685, 330);
    Label1 = label("Label1", kMaker, verdanaBold(), 360, 1560, 2895, 255);
    Label2 = label("Label2", kWebSite, verdanaBold(), 120, 1920, 4215, 495);
    Label3 = label("Label3", kDonation, font(), 120, 2520, 4215, 495);

    // The etched rule: a grey line with a white one just below it.
    const QColor ruleColours[2] = {QColor(0x80, 0x80, 0x80), QColor(0xff, 0xff, 0xff)};
    for (int i = 0; i < 2; ++i) {
        auto* line = new QWidget(this);
        line->setObjectName(QStringLiteral("Line1"));
        line->setProperty("index", i);
        QPalette pal = line->palette();
        pal.setColor(QPalette::Window, ruleColours[i]);
        line->setPalette(pal);
        line->setAutoFillBackground(true);
        const int left = screen.toPixels(kRuleLeft);
        line->setGeometry(left, screen.toPixels(kRuleTop) + i, screen.toPixels(kRuleRight) - left,
                          1);
        Line1[i] = line;
    }

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    place(cmdOK, "cmdOK", 720, 3360, 1260, 345);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    place(cmdSysInfo, "cmdSysInfo", 2280, 3360, 1245, 345);
    cmdOK->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &FrmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::cmdSysInfo_Click);
}

void FrmAbout::StartSysInfo() {
    kavelo::StartSysInfo(m_registry, m_starter, m_dialogs, this);
}

void FrmAbout::cmdOK_Click() {
    close();
}

void FrmAbout::cmdSysInfo_Click() {
    try {
        StartSysInfo();
    } catch (...) {
        // Nothing escapes a click handler; StartSysInfo reports its own failures.
        logging::noteAbsorbed();
    }
}

} // namespace kavelo
