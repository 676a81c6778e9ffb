#include "gui/qt/frmmain.h"

#include "core/error_text.h"
#include "platform/local_address.h"

#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>

using core::kLastSocketMessage;
using core::kSocketNotifyMessage;
using core::OpenFileDialog;
using core::RunGuarded;
using core::UpgradeTool;
using core::WindowPorts;

using platform::LookupLocalIPv4;
using platform::Sleeper;

// The resource initialiser lives in this static library; call it from outside
// any namespace so that the linker keeps it and the icon is found.
static void InitWindowResources() {
    Q_INIT_RESOURCE(frmmain);
}

namespace {

constexpr int kClientWidth = 607;
constexpr int kClientHeight = 401;
// The outer size at 96 dpi with the usual frame, used to centre the window
// before the window manager has told us its real frame.
constexpr int kOuterWidth = 623;
constexpr int kOuterHeight = 440;
constexpr int kPanelWidth = 398;
constexpr int kStatusHeight = 19;
constexpr int kProgressRightGap = 10;

// "宋体" where it exists; elsewhere a Song-style CJK face, so that every
// Chinese caption renders.
QFont SongFont(int pixelSize) {
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("宋体"),
                                   {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                    QStringLiteral("Noto Serif CJK SC")});
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("宋体"));
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                      QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC")});
    font.setPixelSize(pixelSize);
    return font;
}

// stat1: a status bar with one owner-drawn panel that spans the whole bar.
// Each time the bar is resized or painted it hands the panel's rectangle to
// the draw handler.
class PanelStatusBar : public QStatusBar {
public:
    using DrawPanel = std::function<void(const QRect&)>;

    PanelStatusBar(QWidget* parent, DrawPanel drawPanel)
        : QStatusBar(parent), drawPanel_(std::move(drawPanel)) {}

protected:
    void resizeEvent(QResizeEvent* event) override {
        QStatusBar::resizeEvent(event);
        drawPanel_(rect());
    }
    void paintEvent(QPaintEvent* event) override {
        QStatusBar::paintEvent(event);
        drawPanel_(rect());
    }

private:
    DrawPanel drawPanel_;
};

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  int width, int height) {
    return Place(new QLabel(text, parent), name, left, top, width, height);
}

} // namespace

TFrmmain::TFrmmain(WindowSeams seams, QWidget* parent) : QWidget(parent) {
    InitWindowResources();
    setObjectName(QStringLiteral("Frmmain"));
    setWindowTitle(QStringLiteral("采集器程序升级工具"));
    setWindowIcon(QIcon(QStringLiteral(":/frmmain/collector.png")));
    setFont(SongFont(13));
    BuildControls();
    resize(kClientWidth, kClientHeight);
    LayOutDocked();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        move(desktop.x() + (desktop.width() - kOuterWidth) / 2,
             desktop.y() + (desktop.height() - kOuterHeight) / 2);
    }

    notices_ = seams.notices != nullptr ? seams.notices : &ownNotices_;
    OpenFileDialog* fileDialog = seams.fileDialog != nullptr ? seams.fileDialog : &ownFileDialog_;
    Sleeper* sleeper = seams.sleeper != nullptr ? seams.sleeper : &ownSleeper_;
    auto lookup = seams.lookupLocalAddress
                      ? std::move(seams.lookupLocalAddress)
                      : std::function<std::optional<std::string>()>(LookupLocalIPv4);

    view_ = std::make_unique<WidgetToolView>(*lv1, *lbl3, *lbl6, *redt2, *edt1);
    workerDisplay_ = std::make_unique<QueuedWorkerDisplay>(*this, *ProgressBar1, *lbl6);
    tool_ = std::make_unique<UpgradeTool>(WindowPorts{*view_, *view_, *notices_, *fileDialog,
                                                      *workerDisplay_, socketEvents_, *sleeper,
                                                      std::move(lookup)},
                                          seams.ports);

    connect(btnsearch, &QPushButton::clicked, this, [this] { btnsearchClick(); });
    connect(btn1, &QPushButton::clicked, this, [this] { btn1Click(); });
    connect(btnUPG, &QPushButton::clicked, this, [this] { btnUPGClick(); });
}

TFrmmain::~TFrmmain() {
    // The workers hold the display, whose queued calls target this window:
    // they must be gone before anything of the window is.
    try {
        tool_->StopWorkers();
    } catch (...) {
    }
    tool_.reset();
}

void TFrmmain::BuildControls() {
    pnl1 = Place(new QFrame(this), "pnl1", 0, 0, kPanelWidth, 382);
    pnl1->setFrameShape(QFrame::NoFrame);

    lv1 = Place(new QTreeWidget(pnl1), "lv1", 0, 0, kPanelWidth, 382);
    lv1->setColumnCount(3);
    lv1->setHeaderLabels(
        {QStringLiteral("序列号"), QStringLiteral("IP"), QStringLiteral("版本号")});
    lv1->setColumnWidth(0, 130);
    lv1->setColumnWidth(1, 105);
    lv1->setColumnWidth(2, 140);
    lv1->header()->setStretchLastSection(false);
    lv1->header()->setSectionsMovable(false);
    lv1->setRootIsDecorated(false);
    lv1->setItemsExpandable(false);
    lv1->setUniformRowHeights(true);
    lv1->setSortingEnabled(false);
    lv1->setSelectionMode(QAbstractItemView::SingleSelection);
    lv1->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv1->setAllColumnsShowFocus(true);
    lv1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    {
        // The chosen collector stays highlighted when the focus moves to a button.
        QPalette palette = lv1->palette();
        for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
            palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
        lv1->setPalette(palette);
    }

    grp1 = Place(new QGroupBox(this), "grp1", 400, -1, 201, 98);
    lbl1 = MakeLabel(grp1, "lbl1", QStringLiteral("本地端口号"), 10, 16, 73, 13);
    lbl2 = MakeLabel(grp1, "lbl2", QStringLiteral("本地ip地址"), 10, 39, 65, 17);
    lbl3 = MakeLabel(grp1, "lbl3", QStringLiteral("lbl3"), 84, 39, 28, 13);
    edtHostPort = Place(new QLineEdit(QStringLiteral("8000"), grp1), "edtHostPort", 85, 11, 49, 21);
    edtHostPort->setReadOnly(true);
    edtHostPort->setEnabled(false);
    btnsearch =
        Place(new QPushButton(QStringLiteral("搜寻设备"), grp1), "btnsearch", 58, 65, 79, 22);

    lbl7 = MakeLabel(this, "lbl7", QStringLiteral("升级程序文件选择："), 398, 105, 117, 13);
    btn1 = Place(new QPushButton(QStringLiteral("浏览"), this), "btn1", 549, 99, 44, 22);
    btn1->setFont(SongFont(16));

    redt2 = Place(new QTextEdit(this), "redt2", 399, 128, 202, 61);
    redt2->setReadOnly(true);
    redt2->setAcceptRichText(false);
    redt2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    redt2->setFocusPolicy(Qt::StrongFocus);
    redt2->setTabChangesFocus(true);

    lbl4 = MakeLabel(this, "lbl4", QStringLiteral("待升级程序版本号："), 400, 198, 117, 13);
    edt1 = Place(new QLineEdit(this), "edt1", 400, 220, 200, 21);
    lbl6 = MakeLabel(this, "lbl6", QString(), 408, 254, 185, 13);
    lbl6->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    btnUPG = Place(new QPushButton(QStringLiteral("升级程序"), this), "btnUPG", 472, 352, 75, 25);

    // Empty until a worker sets its range: no text, and left in Qt's reset
    // state, which draws no chunk.
    ProgressBar1 = Place(new QProgressBar(this), "ProgressBar1", 264, 184, 89, 17);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->reset();

    stat1 = Place(new PanelStatusBar(this, [this](const QRect& panel) { stat1DrawPanel(panel); }),
                  "stat1", 0, 382, kClientWidth, kStatusHeight);
    stat1->setSizeGripEnabled(false);

    // Tab order: the list, the search button (then the disabled port field,
    // which the focus skips), the upgrade button, browse, version, path.
    QWidget::setTabOrder(lv1, btnsearch);
    QWidget::setTabOrder(btnsearch, edtHostPort);
    QWidget::setTabOrder(edtHostPort, btnUPG);
    QWidget::setTabOrder(btnUPG, btn1);
    QWidget::setTabOrder(btn1, edt1);
    QWidget::setTabOrder(edt1, redt2);
}

void TFrmmain::LayOutDocked() {
    const int bodyHeight = std::max(0, height() - kStatusHeight);
    pnl1->setGeometry(0, 0, kPanelWidth, bodyHeight);
    lv1->setGeometry(0, 0, kPanelWidth, bodyHeight);
    stat1->setGeometry(0, bodyHeight, width(), kStatusHeight);
}

void TFrmmain::stat1DrawPanel(const QRect& panel) {
    if (ProgressBar1->parentWidget() != stat1) {
        ProgressBar1->setParent(stat1);
        ProgressBar1->show();
    }
    // The panel's right and bottom edges are exclusive, as the draw request
    // gives them: QRect's right() and bottom() are one pixel short of that.
    const int left = panel.x();
    const int top = panel.y();
    const int right = panel.x() + panel.width();
    const int bottom = panel.y() + panel.height();
    ProgressBar1->setGeometry(left, top, right - left - kProgressRightGap, bottom - top);
}

bool TFrmmain::event(QEvent* event) {
    const int type = event->type();
    if (type >= kSocketNotifyMessage && type <= kLastSocketMessage) {
        HandleSocketMessage();
        return true;
    }
    const bool handled = QWidget::event(event);
    if (type == QEvent::WindowActivate && shown_)
        FormActivate();
    return handled;
}

void TFrmmain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    FormShow();
    // Start-up belongs to the first activation. A platform that never
    // activates the window (offscreen, some window managers) still gets it,
    // once, as soon as the window is up.
    QMetaObject::invokeMethod(
        this, [this] { FormActivate(); }, Qt::QueuedConnection);
}

void TFrmmain::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TFrmmain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutDocked();
}

void TFrmmain::HandleSocketMessage() {
    // Watching resumes before the datagram is read rather than after: a notice
    // raised by a reply opens a nested event loop, and further datagrams must
    // go on being handled while it is open.
    socketEvents_.Resume();
    Guarded([this] { tool_->HandleSocketMessage(); });
}

void TFrmmain::FormShow() {
    Guarded([this] { tool_->FormShow(); });
}

void TFrmmain::FormActivate() {
    if (activated_)
        return;
    activated_ = true;
    Guarded([this] { tool_->FormActivate(); });
}

void TFrmmain::FormClose() {
    Guarded([this] { tool_->FormClose(); });
}

void TFrmmain::btnsearchClick() {
    Guarded([this] { tool_->btnsearchClick(); });
}

void TFrmmain::btn1Click() {
    Guarded([this] { tool_->btn1Click(); });
}

void TFrmmain::btnUPGClick() {
    Guarded([this] { tool_->btnUPGClick(); });
}

void TFrmmain::Guarded(const std::function<void()>& handler) noexcept {
    RunGuarded(*notices_, handler);
}
