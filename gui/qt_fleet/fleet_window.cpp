#include "gui/qt_fleet/fleet_window.h"

#include "gui/fleet_common/fleet_adapters.h"
#include "gui/fleet_common/fleet_engine_events.h"
#include "gui/fleet_common/fleet_report_files.h"
#include "gui/fleet_common/fleet_settings.h"
#include "gui/fleet_common/fleet_texts.h"
#include "gui/fleet_common/fleet_window_actions.h"
#include "platform/network_adapters.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <algorithm>

using namespace fleetwin;

namespace fleetqt {

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// Paints the progress column as a bar: one delegate, no widget per row, so
// hundreds of rows repaint cheaply.
class ProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariant percent = index.data(Qt::UserRole);
        if (!percent.isValid())
            return QStyledItemDelegate::paint(painter, option, index);
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = percent.toInt();
        bar.text = index.data().toString();
        bar.textVisible = true;
        bar.state = option.state | QStyle::State_Horizontal;
        QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
    }
};

// The adapter list, read again each time the operator opens it.
class AdapterComboBox : public QComboBox {
public:
    AdapterComboBox(QWidget* parent, std::function<void()> beforePopup)
        : QComboBox(parent), beforePopup_(std::move(beforePopup)) {}
    void showPopup() override {
        beforePopup_();
        QComboBox::showPopup();
    }

private:
    std::function<void()> beforePopup_;
};

} // namespace

FleetWindow::FleetWindow(QString settingsFolder, FleetDialogs dialogs, QWidget* parent)
    : QWidget(parent), settingsFolder_(std::move(settingsFolder)), dialogs_(std::move(dialogs)) {
    if (!dialogs_.openImage)
        dialogs_.openImage = [this] {
            return QFileDialog::getOpenFileName(this, QString(), QString(),
                                                QString::fromUtf8(text::kImageFiles) +
                                                    QStringLiteral(" (*.bin)"));
        };
    if (!dialogs_.saveAs)
        dialogs_.saveAs = [this](const QString& filter) {
            return QFileDialog::getSaveFileName(this, QString(), QString(), filter);
        };
    if (!dialogs_.ask)
        dialogs_.ask = [this](const QString& title, const QString& text) {
            return QMessageBox::question(this, title, text) == QMessageBox::Yes;
        };
    if (!dialogs_.notice)
        dialogs_.notice = [this](const QString& text) {
            QMessageBox::information(this, windowTitle(), text);
        };
    if (!dialogs_.error)
        dialogs_.error = [this](const QString& text) {
            QMessageBox::critical(this, windowTitle(), text);
        };

    setWindowTitle(Q(text::kTitle));
    setObjectName(QStringLiteral("FleetWindow"));
    setFixedSize(kFleetClientWidth, kFleetClientHeight);
    std::vector<const FleetControl*> tabbed;
    for (const auto& control : FleetControls()) {
        controls_[control.id] = MakeControl(control);
        if (control.tabOrder >= 0)
            tabbed.push_back(&control);
    }
    std::sort(tabbed.begin(), tabbed.end(),
              [](auto* a, auto* b) { return a->tabOrder < b->tabOrder; });
    for (std::size_t i = 1; i < tabbed.size(); ++i)
        setTabOrder(controls_[tabbed[i - 1]->id], controls_[tabbed[i]->id]);

    connect(Control<QPushButton>(kSearchButton), &QPushButton::clicked, this, &FleetWindow::Search);
    connect(Control<QPushButton>(kBrowseButton), &QPushButton::clicked, this, &FleetWindow::Browse);
    connect(Control<QPushButton>(kStartButton), &QPushButton::clicked, this, &FleetWindow::Start);
    connect(Control<QPushButton>(kStopButton), &QPushButton::clicked, this, &FleetWindow::Stop);
    connect(Control<QPushButton>(kRetryButton), &QPushButton::clicked, this,
            &FleetWindow::RetryFailed);
    connect(Control<QPushButton>(kSaveJsonButton), &QPushButton::clicked, this,
            [this] { Save(false); });
    connect(Control<QPushButton>(kSaveCsvButton), &QPushButton::clicked, this,
            [this] { Save(true); });
    connect(Control<QPushButton>(kSelectAllButton), &QPushButton::clicked, this, [this] {
        model_.SelectAll();
        RebuildTable();
    });
    connect(Control<QPushButton>(kSelectNoneButton), &QPushButton::clicked, this, [this] {
        model_.SelectNone();
        RebuildTable();
    });
    connect(Control<QPushButton>(kSelectNotCurrentButton), &QPushButton::clicked, this, [this] {
        model_.SelectNotCurrent();
        RebuildTable();
    });
    connect(Control<QLineEdit>(kFilterEdit), &QLineEdit::textChanged, this,
            [this](const QString& text) {
                model_.SetFilter(text.trimmed().toStdString());
                RebuildTable();
            });
    connect(Control<QLineEdit>(kVersionEdit), &QLineEdit::textEdited, this,
            [this](const QString& text) {
                model_.SetVersionText(text.toStdString());
                RebuildTable();
            });
    connect(Control<QComboBox>(kAdapterChoice), &QComboBox::currentIndexChanged, this,
            &FleetWindow::SaveAdapterChoice);
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_ || item->column() != static_cast<int>(Column::Check))
            return;
        model_.SetChecked(item->data(Qt::UserRole + 1).toString().toStdString(),
                          item->checkState() == Qt::Checked);
        UpdateControls();
    });
    connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        ascending_ = column == sortColumn_ ? !ascending_ : true;
        sortColumn_ = column;
        model_.SortBy(static_cast<Column>(column), ascending_);
        table_->horizontalHeader()->setSortIndicator(column, ascending_ ? Qt::AscendingOrder
                                                                        : Qt::DescendingOrder);
        RebuildTable();
    });
    repaint_.setInterval(FleetWindowModel::kRepaintInterval);
    connect(&repaint_, &QTimer::timeout, this, &FleetWindow::Repaint);

    RefreshAdapters();
    ReopenLastReport();
    engine_ = std::make_unique<EngineThread>([this] {
        QMetaObject::invokeMethod(this, &FleetWindow::DrainEngine, Qt::QueuedConnection);
    });
    UpdateControls();
}

FleetWindow::~FleetWindow() {
    engine_.reset(); // interrupts a run and joins before the widgets go
}

QWidget* FleetWindow::MakeControl(const FleetControl& control) {
    QWidget* widget = nullptr;
    switch (control.kind) {
    case FleetControlKind::Label:
        widget = new QLabel(Q(control.caption), this);
        break;
    case FleetControlKind::Choice:
        widget = new AdapterComboBox(this, [this] { RefreshAdapters(); });
        break;
    case FleetControlKind::Button:
        widget = new QPushButton(Q(control.caption), this);
        break;
    case FleetControlKind::LineEdit:
        widget = new QLineEdit(this);
        break;
    case FleetControlKind::ReadOnlyEdit: {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        widget = edit;
        break;
    }
    case FleetControlKind::Table: {
        table_ = new QTableWidget(0, kColumnCount, this);
        QStringList headers;
        for (const char* header : text::kColumns)
            headers << QString::fromUtf8(header);
        table_->setHorizontalHeaderLabels(headers);
        table_->setSelectionBehavior(QAbstractItemView::SelectRows);
        table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table_->verticalHeader()->setVisible(false);
        table_->setItemDelegateForColumn(static_cast<int>(Column::Progress),
                                         new ProgressDelegate(table_));
        table_->horizontalHeader()->setSectionsClickable(true);
        table_->horizontalHeader()->setSortIndicatorShown(true);
        table_->horizontalHeader()->setSortIndicator(static_cast<int>(Column::Address),
                                                     Qt::AscendingOrder);
        table_->horizontalHeader()->setStretchLastSection(true);
        const int widths[] = {40, 110, 110, 80, 90, 70, 110, 100};
        for (int i = 0; i < 8; ++i)
            table_->setColumnWidth(i, widths[i]);
        widget = table_;
        break;
    }
    case FleetControlKind::ProgressBar: {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 100);
        bar->setValue(0);
        widget = bar;
        break;
    }
    case FleetControlKind::StatusLine: {
        auto* label = new QLabel(this);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setIndent(4);
        widget = label;
        break;
    }
    }
    widget->setObjectName(Q(control.name));
    widget->setGeometry(control.bounds.left, control.bounds.top, control.bounds.width,
                        control.bounds.height);
    if (!control.accessibleName.empty())
        widget->setAccessibleName(Q(control.accessibleName));
    widget->setFocusPolicy(control.tabOrder >= 0 ? Qt::StrongFocus : Qt::NoFocus);
    return widget;
}

QString FleetWindow::LastReportPath() const {
    return settingsFolder_ + QStringLiteral("/last-report.json");
}

void FleetWindow::RefreshAdapters() {
    auto* choice = Control<QComboBox>(kAdapterChoice);
    const auto remembered =
        LoadSettings((settingsFolder_ + QStringLiteral("/fleet-window.json")).toStdString());
    const auto offered =
        OfferAdapters(platform::ListNetworkAdapters(),
                      choice->currentData(Qt::UserRole + 1).toString().toStdString(),
                      choice->currentData().toString().toStdString(), remembered.adapterName);
    const auto labels = offered.Labels();
    filling_ = true;
    choice->clear();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        choice->addItem(QString::fromStdString(labels[i]),
                        QString::fromStdString(offered.adapters[i].address));
        choice->setItemData(static_cast<int>(i), QString::fromStdString(offered.adapters[i].name),
                            Qt::UserRole + 1);
    }
    choice->setCurrentIndex(offered.chosen);
    filling_ = false;
}

void FleetWindow::SaveAdapterChoice() {
    if (filling_)
        return;
    auto* choice = Control<QComboBox>(kAdapterChoice);
    QDir().mkpath(settingsFolder_);
    SaveSettings((settingsFolder_ + QStringLiteral("/fleet-window.json")).toStdString(),
                 {choice->currentData(Qt::UserRole + 1).toString().toStdString()});
}

fleet::AdapterOptions FleetWindow::ChosenAdapter() const {
    fleet::AdapterOptions options;
    options.address = Control<QComboBox>(kAdapterChoice)->currentData().toString().toStdString();
    return options;
}

void FleetWindow::Search() {
    if (model_.CurrentPhase() != Phase::Idle)
        return;
    RefreshAdapters();
    if (Control<QComboBox>(kAdapterChoice)->currentIndex() < 0) {
        dialogs_.notice(QString::fromUtf8(text::kChooseAdapter));
        return;
    }
    model_.BeginSweep();
    engine_->Sweep(ChosenAdapter());
    UpdateControls();
}

void FleetWindow::Browse() {
    const QString path = dialogs_.openImage();
    if (!path.isEmpty())
        ChooseImage(path);
}

void FleetWindow::ChooseImage(const QString& path) {
    const OpenedImage opened = OpenImage(path.toStdString());
    if (!opened.image) {
        (opened.fileError ? dialogs_.error
                          : dialogs_.notice)(QString::fromStdString(opened.notice));
        return;
    }
    Control<QLineEdit>(kImagePath)->setText(path);
    Control<QLineEdit>(kVersionEdit)->setText(QString::fromStdString(opened.image->versionText));
    model_.SetImage(opened.image);
    RebuildTable();
}

void FleetWindow::Start() {
    const auto ask = [this](const std::string& title, const std::string& question) {
        return dialogs_.ask(QString::fromStdString(title), QString::fromStdString(question));
    };
    const auto tell = [this](const std::string& text) {
        dialogs_.notice(QString::fromStdString(text));
    };
    if (!StartRun(model_, *engine_, ChosenAdapter(), LastReportPath().toStdString(), ask, tell))
        return;
    RebuildTable();
    repaint_.start();
}

void FleetWindow::Stop() {
    if (model_.CurrentPhase() != Phase::Running)
        return;
    engine_->Interrupt();
    model_.StopRequested();
    UpdateControls();
}

void FleetWindow::RetryFailed() {
    if (model_.SelectFailed() == 0)
        return;
    RebuildTable();
    Start();
}

void FleetWindow::Save(bool csv) {
    if (lastReportJson_.isEmpty())
        return;
    const QString path =
        dialogs_.saveAs(csv ? QStringLiteral("CSV (*.csv)") : QStringLiteral("JSON (*.json)"));
    if (path.isEmpty())
        return;
    const std::string json = lastReportJson_.toStdString();
    const auto problem = WriteFileAtomically(path.toStdString(), csv ? ReportCsv(json) : json);
    if (!problem.empty())
        dialogs_.error(QString::fromStdString(problem));
}

void FleetWindow::DrainEngine() {
    const AppliedEvents applied = ApplyEngineEvents(model_, engine_->Drain());
    if (applied.runEnded)
        repaint_.stop();
    if (applied.reportJson)
        lastReportJson_ = QString::fromStdString(*applied.reportJson);
    if (applied.rebuild) {
        RebuildTable();
    } else {
        for (const auto& address : applied.settledAddresses)
            if (const auto it = rowOf_.find(address); it != rowOf_.end())
                UpdateRow(it->second, *model_.Find(address));
    }
    if (closeAfterRun_ && model_.CurrentPhase() == Phase::Idle)
        close();
}

// Called every 100 ms during a run: only rows that changed are touched.
void FleetWindow::Repaint() {
    for (const auto& address : model_.Flush(Clock::now()))
        if (const auto it = rowOf_.find(address); it != rowOf_.end())
            UpdateRow(it->second, *model_.Find(address));
    UpdateControls();
}

void FleetWindow::RebuildTable() {
    filling_ = true;
    const auto rows = model_.Visible();
    table_->setUpdatesEnabled(false);
    table_->setRowCount(static_cast<int>(rows.size()));
    rowOf_.clear();
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        rowOf_[rows[i]->entry.address] = i;
        UpdateRow(i, *rows[i]);
    }
    table_->setUpdatesEnabled(true);
    filling_ = false;
    UpdateControls();
}

void FleetWindow::UpdateRow(int row, const Row& data) {
    const bool wasFilling = std::exchange(filling_, true);
    for (int column = 0; column < kColumnCount; ++column) {
        QTableWidgetItem* item = table_->item(row, column);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            table_->setItem(row, column, item);
        }
        const auto kind = static_cast<Column>(column);
        if (kind == Column::Check) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            item->setCheckState(data.checked ? Qt::Checked : Qt::Unchecked);
            item->setData(Qt::UserRole + 1, QString::fromStdString(data.entry.address));
            continue;
        }
        item->setText(QString::fromStdString(FleetWindowModel::CellText(data, kind)));
        if (kind == Column::Progress)
            item->setData(Qt::UserRole, data.stage.empty() ? QVariant() : QVariant(data.percent));
    }
    filling_ = wasFilling;
}

void FleetWindow::UpdateControls() {
    const Phase phase = model_.CurrentPhase();
    const bool idle = phase == Phase::Idle;
    Control<QPushButton>(kSearchButton)->setEnabled(idle);
    Control<QPushButton>(kBrowseButton)->setEnabled(idle);
    Control<QLineEdit>(kVersionEdit)->setEnabled(idle);
    Control<QComboBox>(kAdapterChoice)->setEnabled(idle);
    Control<QPushButton>(kStartButton)->setEnabled(idle);
    Control<QPushButton>(kRetryButton)->setEnabled(idle);
    Control<QPushButton>(kStopButton)->setEnabled(phase == Phase::Running);
    Control<QPushButton>(kSaveJsonButton)->setEnabled(idle && !lastReportJson_.isEmpty());
    Control<QPushButton>(kSaveCsvButton)->setEnabled(idle && !lastReportJson_.isEmpty());
    for (auto id : {kSelectAllButton, kSelectNoneButton, kSelectNotCurrentButton})
        Control<QPushButton>(id)->setEnabled(idle);
    Control<QLabel>(kSelectionCount)
        ->setText(QString::fromStdString(
            text::SelectionCountText(model_.CheckedCount(), model_.RowCount())));
    Control<QProgressBar>(kOverallProgress)->setValue(model_.OverallPercent());
    Control<QLabel>(kStatusLine)->setText(QString::fromStdString(model_.StatusLine()));
}

void FleetWindow::ReopenLastReport() {
    const auto text = ReadWholeFile(LastReportPath().toStdString());
    if (!text)
        return;
    const auto results = ReadReport(*text);
    if (!results)
        return;
    model_.ShowReport(*results);
    lastReportJson_ = QString::fromStdString(*text);
    RebuildTable();
}

void FleetWindow::closeEvent(QCloseEvent* event) {
    if (model_.CurrentPhase() == Phase::Idle || model_.CurrentPhase() == Phase::Sweeping) {
        event->accept();
        return;
    }
    // A run never ends silently: the operator is asked, then the run is
    // interrupted honestly and the window closes once its report is written.
    event->ignore();
    if (closeAfterRun_ || !dialogs_.ask(Q(text::kCloseTitle), Q(text::kCloseQuestion)))
        return;
    closeAfterRun_ = true;
    Stop();
}

} // namespace fleetqt
