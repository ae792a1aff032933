#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <vector>

#include "engine/LoaderState.h"
#include "serial/PortDirectory.h"

class QComboBox;

namespace vantrel {

class SettingsStore;

// "Port Mapping": which device each of COM 1 to COM 16 opens. Every row offers the detected
// ports and takes a typed path; an empty row means the port's default device. OK stores the
// rows that changed in section "Ports" of the store; Cancel stores nothing. Ports take their
// new device when they are next opened.
class CPortMappingDialog : public QDialog {
    Q_OBJECT
  public:
    CPortMappingDialog(SettingsStore& store, const std::vector<DetectedPort>& ports,
                       QWidget* parent = nullptr);

    // The device path row N stands for now; empty for the default.
    QString RowPath(int port) const;
    QComboBox* Row(int port) const { return rows_.at(static_cast<std::size_t>(port - 1)); }

    void accept() override;

  private:
    SettingsStore& store_;
    std::array<QComboBox*, kPortCount> rows_{};
};

}  // namespace vantrel
