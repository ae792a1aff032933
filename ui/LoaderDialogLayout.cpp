// The window's fixed layout, in dialog units, its tab order, and the line station mode adds.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <vector>

#include "ui/ControlIds.h"
#include "ui/DialogUnits.h"
#include "ui/LoaderDialog.h"
#include "ui/LoaderDialogParts.h"

namespace vantrel {
namespace {

using window::kProgressMaximum;
using window::kProgressMinimum;

// Template 102, in dialog units.
constexpr int kDialogWidth = 311;
constexpr int kDialogHeight = 217;
constexpr int kRowsPerColumn = 8;
constexpr int kFirstRowY = 51;
constexpr int kRowPitch = 16;
constexpr int kBoxX[] = {15, 159};
constexpr int kStatusX[] = {57, 204};
constexpr int kBoxWidth = 40;
constexpr int kStatusWidth = 91;
constexpr int kRowHeight = 12;

// Station mode adds a line below the bottom row; the fixed layout above it stays.
constexpr int kStationLineY = 213;
constexpr int kStationLineHeight = 10;

QPushButton* MakeButton(QWidget* parent, const QString& text, int id) {
    auto* button = new QPushButton(text, parent);
    SetControlId(*button, id);
    // No button is the default: Enter presses only the button that has the focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

void CLoaderDialog::BuildControls() {
    SetControlId(*this, ids::kMainDialog);
    setFont(DialogFont());
    const DialogUnits units = DialogUnits::ForFont(font());
    setFixedSize(units.Size(kDialogWidth, kDialogHeight));

    // Group boxes first, so that the controls they frame lie above them.
    auto addGroup = [&](const QString& title, int x, int y, int width, int height) {
        auto* group = new QGroupBox(title, this);
        group->setGeometry(units.Rect(x, y, width, height));
        group->setFocusPolicy(Qt::NoFocus);
    };
    addGroup(QStringLiteral("Select ROM File"), 7, 3, 297, 31);
    addGroup(QStringLiteral("Com Port Selection, Status and Settings"), 7, 37, 297, 144);
    addGroup(QString(), 7, 182, 297, 28);

    romPathField_ = new QLineEdit(this);
    SetControlId(*romPathField_, ids::kRomPath);
    romPathField_->setGeometry(units.Rect(13, 15, 253, 12));
    romPathField_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(romPathField_, &QLineEdit::customContextMenuRequested, this,
            [this](const QPoint& position) { ShowContextMenu(romPathField_, position); });

    browseButton_ = MakeButton(this, QStringLiteral("..."), ids::kBrowse);
    browseButton_->setGeometry(units.Rect(271, 15, 26, 13));
    connect(browseButton_, &QPushButton::clicked, this, &CLoaderDialog::OnBrowse);

    for (int port = 1; port <= kPortCount; ++port) {
        const int column = (port - 1) / kRowsPerColumn;
        const int y = kFirstRowY + ((port - 1) % kRowsPerColumn) * kRowPitch;

        auto* box = new QCheckBox(QStringLiteral("Com %1").arg(port), this);
        SetControlId(*box, ids::kPortBox[PortIndex(port)]);
        box->setGeometry(units.Rect(kBoxX[column], y, kBoxWidth, kRowHeight));
        // Clicks only: the serial link unticks a box itself when its port cannot be opened.
        connect(box, &QCheckBox::clicked, this, [this, port] { OnPortBoxClicked(port); });
        portBoxes_[PortIndex(port)] = box;

        auto* status = new QLineEdit(this);
        SetControlId(*status, ids::kPortStatus[PortIndex(port)]);
        status->setGeometry(units.Rect(kStatusX[column], y, kStatusWidth, kRowHeight));
        status->setReadOnly(true);
        status->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(status, &QLineEdit::customContextMenuRequested, this,
                [this, status](const QPoint& position) { ShowContextMenu(status, position); });
        statusFields_[PortIndex(port)] = status;
    }

    progressBar_ = new QProgressBar(this);
    SetControlId(*progressBar_, ids::kProgress);
    progressBar_->setGeometry(units.Rect(12, 190, 136, 16));
    progressBar_->setRange(kProgressMinimum, kProgressMaximum);
    progressBar_->setTextVisible(false);
    progressBar_->setFocusPolicy(Qt::NoFocus);

    startButton_ = MakeButton(this, QStringLiteral("Start"), ids::kStart);
    startButton_->setGeometry(units.Rect(157, 190, 50, 16));
    connect(startButton_, &QPushButton::clicked, this, &CLoaderDialog::OnStart);

    settingsButton_ = MakeButton(this, QStringLiteral("Settings"), ids::kSettings);
    settingsButton_->setGeometry(units.Rect(210, 190, 35, 16));
    connect(settingsButton_, &QPushButton::clicked, this, &CLoaderDialog::OnSettings);

    aboutButton_ = MakeButton(this, QStringLiteral("?"), ids::kAbout);
    aboutButton_->setGeometry(units.Rect(249, 190, 15, 16));
    connect(aboutButton_, &QPushButton::clicked, this, &CLoaderDialog::OnAbout);

    exitButton_ = MakeButton(this, QStringLiteral("E&xit"), ids::kExit);
    exitButton_->setGeometry(units.Rect(268, 190, 30, 16));
    connect(exitButton_, &QPushButton::clicked, this, &CLoaderDialog::OnExit);

    stationLine_ = new QLabel(this);
    stationLine_->setObjectName(QStringLiteral("stationLine"));
    stationLine_->setGeometry(units.Rect(9, kStationLineY, 293, kStationLineHeight));
    stationLine_->setTextFormat(Qt::PlainText);
    stationLine_->hide();
}

void CLoaderDialog::ShowStationMode() {
    const DialogUnits units = DialogUnits::ForFont(font());
    const bool on = station_ != nullptr;
    setFixedSize(
        units.Size(kDialogWidth, on ? kStationLineY + kStationLineHeight + 3 : kDialogHeight));
    stationLine_->setVisible(on);
    ShowStationLine();
}

void CLoaderDialog::BuildTabOrder() {
    std::vector<QWidget*> order = {portBoxes_[0], browseButton_};
    for (int port = 2; port <= 12; ++port) {
        order.push_back(portBoxes_[PortIndex(port)]);
        order.push_back(statusFields_[PortIndex(port)]);
    }
    order.insert(order.end(),
                 {startButton_, aboutButton_, exitButton_, statusFields_[0], romPathField_});
    for (int port = 13; port <= kPortCount; ++port) {
        order.push_back(portBoxes_[PortIndex(port)]);
        order.push_back(statusFields_[PortIndex(port)]);
    }
    order.push_back(settingsButton_);
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

}  // namespace vantrel
