#include "ui/PortMappingDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "serial/PortMapping.h"
#include "settings/SettingsStore.h"
#include "ui/DialogUnits.h"

namespace vantrel {
namespace {

constexpr int kPathColumns = 64;

// "/dev/serial/by-id/usb-FTDI…  (ttyUSB0: FT232R USB UART, serial A10K)"
QString ChoiceText(const DetectedPort& port) {
    QStringList details;
    if (!port.description.isEmpty()) {
        details << port.description;
    }
    if (!port.serialNumber.isEmpty()) {
        details << QStringLiteral("serial %1").arg(port.serialNumber);
    }
    QString text = PreferredPath(port);
    QString about = details.join(QStringLiteral(", "));
    if (!port.stableLink.isEmpty()) {
        const QString kernelName = QFileInfo(port.device).fileName();
        about = about.isEmpty() ? kernelName : kernelName + QStringLiteral(": ") + about;
    }
    return about.isEmpty() ? text : text + QStringLiteral("  (") + about + QLatin1Char(')');
}

}  // namespace

CPortMappingDialog::CPortMappingDialog(SettingsStore& store, const std::vector<DetectedPort>& ports,
                                       QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      store_(store) {
    setWindowTitle(QStringLiteral("Port Mapping"));
    setFont(DialogFont());

    // Ports with a stable name first: those are the ones worth mapping by.
    std::vector<DetectedPort> offered = ports;
    std::stable_partition(offered.begin(), offered.end(),
                          [](const DetectedPort& port) { return !port.stableLink.isEmpty(); });

    auto* layout = new QVBoxLayout(this);
    auto* hint = new QLabel(
        QStringLiteral("The device each port opens. Names under /dev/serial/by-id stay the same "
                       "when an adapter is plugged in again; an empty row is the port's default."),
        this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    auto* grid = new QGridLayout;
    for (int port = 1; port <= kPortCount; ++port) {
        auto* row = new QComboBox(this);
        row->setObjectName(SettingsPortMapping::ValueName(port));
        row->setEditable(true);
        row->setInsertPolicy(QComboBox::NoInsert);
        row->setMinimumContentsLength(kPathColumns);
        row->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        for (const DetectedPort& detected : offered) {
            row->addItem(ChoiceText(detected), PreferredPath(detected));
        }
        row->view()->setMinimumWidth(row->view()->sizeHintForColumn(0));
        // A chosen port leaves its path in the field, not the longer text it was offered by.
        connect(row, &QComboBox::activated, row, [row](int index) {
            row->setEditText(row->itemData(index).toString());
            row->lineEdit()->setCursorPosition(0);
        });
        row->setCurrentIndex(-1);
        row->setEditText(
            store_.ReadString(SettingsPortMapping::kSection, row->objectName(), QString()));
        // The start of a long path says more than its end: which folder it is in.
        row->lineEdit()->setCursorPosition(0);
        row->lineEdit()->setPlaceholderText(
            QStringLiteral("%1 (default)").arg(DefaultDevicePath(port)));

        auto* label = new QLabel(QStringLiteral("COM%1").arg(port), this);
        label->setBuddy(row);
        grid->addWidget(label, port - 1, 0);
        grid->addWidget(row, port - 1, 1);
        rows_[static_cast<std::size_t>(port - 1)] = row;
    }
    layout->addLayout(grid);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPortMappingDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPortMappingDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString CPortMappingDialog::RowPath(int port) const {
    const QComboBox* row = Row(port);
    const QString text = row->currentText().trimmed();
    const int offered = row->findText(text, Qt::MatchExactly);
    return offered >= 0 ? row->itemData(offered).toString() : text;
}

void CPortMappingDialog::accept() {
    for (int port = 1; port <= kPortCount; ++port) {
        const QString name = SettingsPortMapping::ValueName(port);
        const QString path = RowPath(port);
        // Rows left as they were stay out of the store, so untouched ports keep no value.
        if (path != store_.ReadString(SettingsPortMapping::kSection, name, QString())) {
            store_.WriteString(SettingsPortMapping::kSection, name, path);
        }
    }
    QDialog::accept();
}

}  // namespace vantrel
