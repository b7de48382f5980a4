#include "CIOSettings.h"

#include "IoFunction.h"
#include "NumberText.h"
#include "StringTable.h"
#include "WindowMessage.h"
#include "ui_IoSettings.h"

#include <QKeyEvent>

namespace kestova {

using namespace params;

namespace {

constexpr QPoint kPanelPosition(100, 25);

QString HexText(std::uint32_t value) {
    return QString::number(value, 16).toUpper();
}

} // namespace

CIOSettings::CIOSettings(QWidget* list)
    : QFrame(list), ui_(std::make_unique<Ui::IoSettingsForm>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("page176"));
    hide();
    move(kPanelPosition);
    for (const std::string_view entry : kFilterTimes) {
        ui_->id1137->addItem(
            QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size())));
    }
    ui_->id1137->setCurrentIndex(0);

    // Enter would press the default button or reach the list behind the panel.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }

    // Only what the person does counts as a change; setting a control from the value does not.
    connect(ui_->id1133, &QLineEdit::textChanged, this, &CIOSettings::OnValueText);
    connect(ui_->id1135, &QComboBox::activated, this, &CIOSettings::OnControlChanged);
    connect(ui_->id1137, &QComboBox::activated, this, &CIOSettings::OnControlChanged);
    connect(ui_->id1138, &QRadioButton::clicked, this, &CIOSettings::OnControlChanged);
    connect(ui_->id1139, &QRadioButton::clicked, this, &CIOSettings::OnControlChanged);
    connect(ui_->id1, &QPushButton::clicked, this, &CIOSettings::OnOk);
    connect(ui_->id2, &QPushButton::clicked, this, &QWidget::hide);
}

CIOSettings::~CIOSettings() = default;

void CIOSettings::OpenForRow(int row, int address, const QString& description,
                             std::uint32_t value) {
    row_ = row;
    address_ = address;
    ui_->id1131->setText(description);
    ui_->id1135->clear();
    switch (IoKindOf(description.toStdString())) {
    case IoKind::Input:
        for (int id = res::IDS_INPUT_FUNCTION_FIRST; id <= res::IDS_INPUT_FUNCTION_LAST; ++id) {
            if (const QString entry = res::LoadString(id); !entry.isEmpty()) {
                ui_->id1135->addItem(entry);
            }
        }
        ui_->id1136->show();
        ui_->id1137->show();
        break;
    case IoKind::Output:
        for (int id = res::IDS_OUTPUT_FUNCTION_FIRST; id <= res::IDS_OUTPUT_FUNCTION_LAST; ++id) {
            if (const QString entry = res::LoadString(id); !entry.isEmpty()) {
                ui_->id1135->addItem(entry);
            }
        }
        ui_->id1136->hide();
        ui_->id1137->hide();
        break;
    case IoKind::Unknown:
        break;
    }
    show();
    raise();
    value_ = value;
    ui_->id1133->setText(HexText(value));
    SetControlsFromValue(true);
}

void CIOSettings::SelectFunction(bool firstEntryFirst) {
    QComboBox* functions = ui_->id1135;
    if (firstEntryFirst) {
        functions->setCurrentIndex(0);
    }
    // A code with no entry leaves the selection as it is; the value keeps its bits.
    for (int i = 0; i < functions->count(); ++i) {
        if (FunctionEntryCode(functions->itemText(i).toStdString()) == FunctionOf(value_)) {
            functions->setCurrentIndex(i);
            return;
        }
    }
}

void CIOSettings::SetControlsFromValue(bool firstFunctionFirst) {
    SelectFunction(firstFunctionFirst);
    ui_->id1138->setChecked(!IsBNode(value_));
    ui_->id1139->setChecked(IsBNode(value_));
    QComboBox* filters = ui_->id1137;
    for (int i = 0; i < filters->count(); ++i) {
        if (FilterEntryIndex(filters->itemText(i).toStdString()) == FilterOf(value_)) {
            filters->setCurrentIndex(i);
            break;
        }
    }
}

void CIOSettings::OnValueText(const QString& text) {
    const std::string typed = text.toStdString();
    if (IsNumberText(typed)) {
        value_ = ParseHexText(typed);
        SetControlsFromValue(false);
    }
    ui_->id1133->setFocus();
}

void CIOSettings::OnControlChanged() {
    std::uint32_t value = value_;
    // With no function listed (a row that is neither input nor output) the code stays.
    if (ui_->id1135->currentIndex() >= 0) {
        if (const auto code = FunctionEntryCode(ui_->id1135->currentText().toStdString())) {
            value = WithFunction(value, *code);
        }
    }
    value = WithContact(value, !ui_->id1138->isChecked());
    if (const auto index = FilterEntryIndex(ui_->id1137->currentText().toStdString())) {
        value = WithFilter(value, *index);
    }
    value_ = value;
    ui_->id1133->setText(HexText(value)); // read back as if typed, which sets the controls
}

void CIOSettings::OnOk() {
    hide();
    WindowMessage::Post(parentWidget(), WM_IO_FUNCTION_SET,
                        static_cast<quintptr>(row_) * 65536u + static_cast<quintptr>(address_),
                        static_cast<qintptr>(value_));
}

bool CIOSettings::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void CIOSettings::mousePressEvent(QMouseEvent* event) {
    // A press on the panel's own background stays here: passed on, the list would hide the panel.
    event->accept();
}

} // namespace kestova
