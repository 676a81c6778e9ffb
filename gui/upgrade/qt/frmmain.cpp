#include "gui/upgrade/qt/frmmain.h"

#include "gui/upgrade/shell/window_geometry.h"

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

#include <string_view>

using core::kLastSocketMessage;
using core::kSocketNotifyMessage;

// The resource initialiser lives in this static library; call it from outside
// any namespace so that the linker keeps it and the icon is found.
static void InitWindowResources() {
    Q_INIT_RESOURCE(frmmain);
}

namespace upgradeui::qt {

namespace {

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

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect ToQRect(const upgradeui::Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

// lv1: the three columns, one row per collector, selected whole and never
// edited in place.
QTreeWidget* MakeDeviceList(QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    const auto columns = upgradeui::DeviceListColumns();
    list->setColumnCount(static_cast<int>(columns.size()));
    QStringList captions;
    for (const upgradeui::ListColumn& column : columns)
        captions << FromUtf8(column.caption);
    list->setHeaderLabels(captions);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i)
        list->setColumnWidth(i, columns[static_cast<std::size_t>(i)].width);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The chosen collector stays highlighted when the focus moves to a button.
    QPalette palette = list->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    list->setPalette(palette);
    return list;
}

} // namespace

TFrmmain::TFrmmain(WindowSeams seams, QWidget* parent) : QWidget(parent) {
    InitWindowResources();
    setObjectName(FromUtf8(upgradeui::kWindowName));
    setWindowTitle(FromUtf8(upgradeui::kWindowCaption));
    setWindowIcon(QIcon(QStringLiteral(":/frmmain/collector.png")));
    setFont(SongFont(upgradeui::kWindowFontPixels));
    BuildControls();
    resize(upgradeui::kClientWidth, upgradeui::kClientHeight);
    LayOutDocked();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->geometry();
        move(desktop.x() + (desktop.width() - upgradeui::kOuterWidth) / 2,
             desktop.y() + (desktop.height() - upgradeui::kOuterHeight) / 2);
    }

    view_ = std::make_unique<WidgetToolView>(
        *Control<QTreeWidget>(upgradeui::kLv1), *Control<QLabel>(upgradeui::kLbl3),
        *Control<QLabel>(upgradeui::kLbl6), *Control<QTextEdit>(upgradeui::kRedt2),
        *Control<QLineEdit>(upgradeui::kEdt1));
    workerDisplay_ = std::make_unique<QueuedWorkerDisplay>(
        *this, *Control<QProgressBar>(upgradeui::kProgressBar1),
        *Control<QLabel>(upgradeui::kLbl6));
    shell_ = std::make_unique<upgradeui::WindowShell>(
        std::move(seams), upgradeui::WindowParts{*view_, *view_, *workerDisplay_, socketEvents_,
                                                 ownNotices_, ownFileDialog_});

    connect(Control<QPushButton>(upgradeui::kBtnSearch), &QPushButton::clicked, this,
            [this] { shell_->btnsearchClick(); });
    connect(Control<QPushButton>(upgradeui::kBtn1), &QPushButton::clicked, this,
            [this] { shell_->btn1Click(); });
    connect(Control<QPushButton>(upgradeui::kBtnUpg), &QPushButton::clicked, this,
            [this] { shell_->btnUPGClick(); });
}

TFrmmain::~TFrmmain() {
    // The workers hold the display, whose queued calls target this window:
    // they must be gone before anything of the window is.
    shell_.reset();
}

QWidget* TFrmmain::MakeControl(const upgradeui::ControlDescription& control) {
    using enum upgradeui::ControlKind;
    QWidget* parent = control.parent == upgradeui::kNoControl ? this : controls_.at(control.parent);
    const QString caption = FromUtf8(control.caption);
    QWidget* widget = nullptr;
    switch (control.kind) {
    case Panel: {
        auto* frame = new QFrame(parent);
        frame->setFrameShape(QFrame::NoFrame);
        widget = frame;
        break;
    }
    case ListView:
        widget = MakeDeviceList(parent);
        break;
    case GroupBox:
        widget = new QGroupBox(caption, parent);
        break;
    case Label:
    case SizedLabel: {
        auto* label = new QLabel(caption, parent);
        if (control.Has(upgradeui::kCentred))
            label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        widget = label;
        break;
    }
    case LineEdit: {
        auto* edit = new QLineEdit(caption, parent);
        edit->setReadOnly(control.Has(upgradeui::kReadOnly));
        widget = edit;
        break;
    }
    case RichEdit: {
        auto* edit = new QTextEdit(parent);
        edit->setReadOnly(control.Has(upgradeui::kReadOnly));
        edit->setAcceptRichText(false);
        if (control.Has(upgradeui::kVerticalScroll))
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setFocusPolicy(Qt::StrongFocus);
        edit->setTabChangesFocus(true);
        widget = edit;
        break;
    }
    case Button:
        widget = new QPushButton(caption, parent);
        break;
    case ProgressBar: {
        // Empty until a worker sets its range: no text, and left in Qt's
        // reset state, which draws no chunk.
        auto* progress = new QProgressBar(parent);
        progress->setTextVisible(false);
        progress->setRange(0, 100);
        progress->reset();
        widget = progress;
        break;
    }
    case StatusBar: {
        auto* bar =
            new PanelStatusBar(parent, [this](const QRect& panel) { stat1DrawPanel(panel); });
        bar->setSizeGripEnabled(false);
        widget = bar;
        break;
    }
    }
    widget->setObjectName(FromUtf8(control.name));
    widget->setGeometry(ToQRect(control.bounds));
    if (control.fontPixels != upgradeui::kWindowFontPixels)
        widget->setFont(SongFont(control.fontPixels));
    widget->setEnabled(!control.Has(upgradeui::kDisabled));
    return widget;
}

void TFrmmain::BuildControls() {
    for (const upgradeui::ControlDescription* control : upgradeui::CreationOrder())
        controls_[control->id] = MakeControl(*control);
    // Tab visits the focusable controls in the described order; Qt's focus
    // skips the disabled port field by itself.
    const auto chain = upgradeui::TabChain();
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(controls_.at(chain[i - 1]->id), controls_.at(chain[i]->id));
}

void TFrmmain::LayOutDocked() {
    const upgradeui::DockedLayout layout = upgradeui::LayOutDocked(width(), height());
    controls_.at(upgradeui::kPnl1)->setGeometry(ToQRect(layout.pnl1));
    controls_.at(upgradeui::kLv1)->setGeometry(ToQRect(layout.lv1));
    controls_.at(upgradeui::kStat1)->setGeometry(ToQRect(layout.stat1));
}

void TFrmmain::stat1DrawPanel(const QRect& panel) {
    auto* progress = Control<QProgressBar>(upgradeui::kProgressBar1);
    QWidget* statusBar = controls_.at(upgradeui::kStat1);
    if (progress->parentWidget() != statusBar) {
        progress->setParent(statusBar);
        progress->show();
    }
    progress->setGeometry(
        ToQRect(upgradeui::ProgressInPanel({panel.x(), panel.y(), panel.width(), panel.height()})));
}

bool TFrmmain::event(QEvent* event) {
    const int type = event->type();
    if (type >= kSocketNotifyMessage && type <= kLastSocketMessage) {
        HandleSocketMessage();
        return true;
    }
    const bool handled = QWidget::event(event);
    if (type == QEvent::WindowActivate && shell_)
        shell_->FormActivate();
    return handled;
}

void TFrmmain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shell_->FormShow())
        return;
    // Start-up belongs to the first activation. A platform that never
    // activates the window (offscreen, some window managers) still gets it,
    // once, as soon as the window is up.
    QMetaObject::invokeMethod(
        this, [this] { shell_->FormActivate(); }, Qt::QueuedConnection);
}

void TFrmmain::closeEvent(QCloseEvent* event) {
    shell_->FormClose();
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
    shell_->HandleSocketMessage();
}

} // namespace upgradeui::qt
