#include "gui/fleet/qt/fleet_window.h"

#include "gui/fleet/shell/fleet_texts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
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

using namespace fleetui;

namespace fleetui::qt {

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

std::string U(const QString& text) {
    return text.toUtf8().toStdString();
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

FleetWindow::FleetWindow(FleetShellSeams seams, FleetDialogs* dialogs, QWidget* parent)
    : QWidget(parent) {
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

    seams.wake = [this] {
        QMetaObject::invokeMethod(
            this, [this] { shell_->EngineWoke(); }, Qt::QueuedConnection);
    };
    FleetView& view = *this;
    FleetDialogs& own = *this;
    shell_ = std::make_unique<FleetWindowShell>(std::move(seams), view, dialogs ? *dialogs : own);
    ConnectControls();
    shell_->Opened();
}

FleetWindow::~FleetWindow() {
    shell_.reset(); // interrupts a run and joins before the widgets go
}

void FleetWindow::ConnectControls() {
    FleetWindowShell& shell = *shell_;
    const std::pair<FleetControlId, void (FleetWindowShell::*)()> buttons[] = {
        {kSearchButton, &FleetWindowShell::SearchClicked},
        {kBrowseButton, &FleetWindowShell::BrowseClicked},
        {kStartButton, &FleetWindowShell::StartClicked},
        {kStopButton, &FleetWindowShell::StopClicked},
        {kRetryButton, &FleetWindowShell::RetryClicked},
        {kSelectAllButton, &FleetWindowShell::SelectAllClicked},
        {kSelectNoneButton, &FleetWindowShell::SelectNoneClicked},
        {kSelectNotCurrentButton, &FleetWindowShell::SelectNotCurrentClicked},
        {kExpectedFromFileButton, &FleetWindowShell::ExpectedFromFileClicked},
        {kExpectedFromSweepButton, &FleetWindowShell::ExpectedFromSweepClicked},
        {kExpectedClearButton, &FleetWindowShell::ExpectedClearClicked}};
    for (const auto& [id, handler] : buttons)
        connect(Control<QPushButton>(id), &QPushButton::clicked, this,
                [&shell, handler = handler] { (shell.*handler)(); });
    connect(Control<QPushButton>(kSaveJsonButton), &QPushButton::clicked, this,
            [&shell] { shell.SaveClicked(false); });
    connect(Control<QPushButton>(kSaveCsvButton), &QPushButton::clicked, this,
            [&shell] { shell.SaveClicked(true); });
    connect(Control<QLineEdit>(kFilterEdit), &QLineEdit::textChanged, this,
            [&shell](const QString& text) { shell.FilterEdited(U(text)); });
    connect(Control<QLineEdit>(kVersionEdit), &QLineEdit::textEdited, this,
            [&shell](const QString& text) { shell.VersionEdited(U(text)); });
    // Every choice, the shown one's too: the shell ticks or unticks it.
    connect(Control<QComboBox>(kAdapterChoice), &QComboBox::activated, this,
            [&shell](int index) { shell.AdapterChosen(index); });
    connect(table_, &QTableWidget::itemChanged, this, [&shell](QTableWidgetItem* item) {
        if (item->column() == static_cast<int>(Column::Check))
            shell.RowChecked(item->row(), item->checkState() == Qt::Checked);
    });
    connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [&shell](int column) { shell.HeaderClicked(column); });
    connect(&repaint_, &QTimer::timeout, this, [&shell] { shell.RepaintDue(); });
}

QWidget* FleetWindow::MakeControl(const FleetControl& control) {
    QWidget* widget = nullptr;
    switch (control.kind) {
    case FleetControlKind::Label:
        widget = new QLabel(Q(control.caption), this);
        break;
    case FleetControlKind::Choice:
        widget = new AdapterComboBox(this, [this] { shell_->AdapterListOpening(); });
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
        for (int i = 0; i < kColumnCount; ++i)
            table_->setColumnWidth(i, kColumnWidths[i]);
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

// --- what the shell shows

void FleetWindow::ShowRows(const std::vector<const Row*>& rows) {
    table_->setUpdatesEnabled(false);
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i)
        ShowRow(i, *rows[i]);
    table_->setUpdatesEnabled(true);
}

void FleetWindow::ShowRow(int index, const Row& row) {
    for (int column = 0; column < kColumnCount; ++column) {
        QTableWidgetItem* item = table_->item(index, column);
        if (item == nullptr) {
            item = new QTableWidgetItem;
            table_->setItem(index, column, item);
        }
        const auto kind = static_cast<Column>(column);
        if (kind == Column::Check) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            item->setCheckState(row.checked ? Qt::Checked : Qt::Unchecked);
            continue;
        }
        item->setText(Q(FleetWindowModel::CellText(row, kind)));
        if (kind == Column::Progress)
            item->setData(Qt::UserRole, row.stage.empty() ? QVariant() : QVariant(row.percent));
    }
}

void FleetWindow::ShowSortColumn(Column column, bool ascending) {
    table_->horizontalHeader()->setSortIndicator(
        static_cast<int>(column), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void FleetWindow::ShowAdapters(const std::vector<std::string>& labels, int chosen) {
    auto* choice = Control<QComboBox>(kAdapterChoice);
    choice->clear();
    for (const auto& label : labels)
        choice->addItem(Q(label));
    choice->setCurrentIndex(chosen);
}

void FleetWindow::SetText(FleetControlId id, const std::string& text) {
    QWidget* control = controls_.at(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(Q(text));
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(Q(text));
}

void FleetWindow::SetEnabled(FleetControlId id, bool enabled) {
    controls_.at(id)->setEnabled(enabled);
}

void FleetWindow::SetOverallPercent(int percent) {
    Control<QProgressBar>(kOverallProgress)->setValue(percent);
}

void FleetWindow::StartRepaintTimer(std::chrono::milliseconds interval) {
    repaint_.start(interval);
}

void FleetWindow::StopRepaintTimer() {
    repaint_.stop();
}

void FleetWindow::CloseWindow() {
    close();
}

void FleetWindow::closeEvent(QCloseEvent* event) {
    if (shell_->CloseRequested())
        event->accept();
    else
        event->ignore();
}

// --- Qt's own boxes and file dialogs

std::string FleetWindow::OpenImagePath() {
    return U(QFileDialog::getOpenFileName(this, QString(), QString(),
                                          Q(text::kImageFiles) + QStringLiteral(" (*.bin)")));
}

std::string FleetWindow::OpenExpectedListPath() {
    return U(QFileDialog::getOpenFileName(
        this, QString(), QString(), Q(text::kExpectedFiles) + QStringLiteral(" (*.txt *.csv)")));
}

std::string FleetWindow::SaveReportPath(bool csv) {
    return U(QFileDialog::getSaveFileName(this, QString(), QString(),
                                          csv ? QStringLiteral("CSV (*.csv)")
                                              : QStringLiteral("JSON (*.json)")));
}

bool FleetWindow::Ask(const std::string& title, const std::string& question) {
    return QMessageBox::question(this, Q(title), Q(question)) == QMessageBox::Yes;
}

void FleetWindow::Notice(const std::string& text) {
    QMessageBox::information(this, windowTitle(), Q(text));
}

void FleetWindow::Error(const std::string& text) {
    QMessageBox::critical(this, windowTitle(), Q(text));
}

} // namespace fleetui::qt
