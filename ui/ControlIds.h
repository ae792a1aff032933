#pragma once

#include <QString>
#include <QVariant>
#include <QWidget>
#include <array>

namespace vantrel {

// Ids of the dialogs, their controls and the icon. Every control that has an id carries it as
// its object name ("id1044") and as the "controlId" property, so it can be found by id.
namespace ids {

inline constexpr int kProgramIcon = 128;

// Main window, template 102.
inline constexpr int kMainDialog = 102;
inline constexpr int kRomPath = 1091;
inline constexpr int kProgress = 1092;
inline constexpr int kBrowse = 1019;
inline constexpr int kStart = 1044;
inline constexpr int kSettings = 1094;
inline constexpr int kAbout = 1087;
inline constexpr int kExit = 1104;
// Indexed by port - 1. The ids are not in port order.
inline constexpr std::array<int, 16> kPortBox = {1003, 1004, 1005, 1006, 1011, 1012, 1013, 1014,
                                                 1015, 1016, 1017, 1018, 1007, 1022, 1024, 1026};
inline constexpr std::array<int, 16> kPortStatus = {1010, 1021, 1023, 1025, 1027, 1029, 1031, 1033,
                                                    1035, 1037, 1039, 1041, 1036, 1038, 1040, 1042};
// Window-menu command that opens the About box; its low four bits are ignored.
inline constexpr int kAboutCommand = 0x10;
// Window-menu command that opens the Port Mapping dialog; its low four bits are ignored too.
inline constexpr int kPortMappingCommand = 0x30;
// Window-menu command that opens the Station dialog; its low four bits are ignored too.
inline constexpr int kStationCommand = 0x50;
inline constexpr int kCloseCommand = 0xF060;

// Options dialog, template 146.
inline constexpr int kOptionsDialog = 146;
inline constexpr int kOk = 1;
inline constexpr int kUpdateFirmwareRom = 1101;
inline constexpr int kUpdateBootRom = 1102;
inline constexpr int kNoWaitForAck = 1105;
inline constexpr int kFwBaseAddress = 1106;
inline constexpr int kBootBaseAddress = 1107;

// About dialog, template 141.
inline constexpr int kAboutDialog = 141;
inline constexpr int kAboutName = 1103;
inline constexpr int kAboutVersion = 1104;
inline constexpr int kAboutDate = 1105;

}  // namespace ids

inline constexpr const char* kControlIdProperty = "controlId";

inline QString ControlName(int id) {
    return QStringLiteral("id%1").arg(id);
}

inline void SetControlId(QWidget& control, int id) {
    control.setObjectName(ControlName(id));
    control.setProperty(kControlIdProperty, id);
}

// 0 for a control without an id.
inline int ControlId(const QWidget& control) {
    return control.property(kControlIdProperty).toInt();
}

// The control with this id among the dialog's own controls (not those of a dialog above it).
template <class T = QWidget>
T* FindControl(const QWidget& dialog, int id) {
    return dialog.findChild<T*>(ControlName(id), Qt::FindDirectChildrenOnly);
}

}  // namespace vantrel
