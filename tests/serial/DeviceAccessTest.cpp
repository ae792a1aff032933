#include "serial/DeviceAccess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace vantrel {
namespace {

TEST(AccessDeniedText, NamesTheDeviceAndTheWayIn) {
    const std::pair<DeviceAccess, std::vector<const char*>> cases[] = {
        {{"/dev/ttyUSB0", "", EACCES, "dialout", true},
         {"Permission denied: /dev/ttyUSB0 ", "group dialout", "log out and in again"}},
        {{"/dev/serial/by-id/usb-X", "/dev/ttyUSB3", EACCES, "uucp", true},
         {"/dev/serial/by-id/usb-X (/dev/ttyUSB3)", "group uucp"}},
        // No group to join: the superuser's, one without access, or none with a name.
        {{"/dev/ttyS4", "", EACCES, "root", false}, {"/dev/ttyS4; ask the administrator"}},
        {{"/dev/ttyS5", "", EPERM, "", true}, {"/dev/ttyS5; ask the administrator"}},
        // Other failures keep the opening's own text.
        {{"/dev/ttyUSB0", "", ENOENT, "dialout", true}, {}},
        {{"/dev/ttyUSB0", "", EBUSY, "dialout", true}, {}},
    };
    for (const auto& [access, says] : cases) {
        const QString text = AccessDeniedText(access);
        EXPECT_EQ(text.isEmpty(), says.empty()) << text.toStdString();
        for (const char* part : says) {
            EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << text.toStdString();
        }
    }
}

}  // namespace
}  // namespace vantrel
