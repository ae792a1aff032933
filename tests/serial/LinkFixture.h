#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <map>
#include <memory>

#include "engine/LoaderState.h"
#include "serial/PortMapping.h"
#include "serial/SerialLink.h"
#include "session/HeadlessSession.h"
#include "tests/serial/PtySupport.h"

namespace vantrel::testing {

// A serial link whose ports are bare ptys, with tick boxes, recorded warnings and a count of
// preparations.
class LinkFixture : public ::testing::Test {
  protected:
    LinkFixture()
        : state_(std::make_unique<LoaderState>()),
          link_(*state_, mapping_, boxes_, [this](const QString& text) { warnings_ << text; }) {
        link_.SetPrepareHook([this](int port) {
            ++preparations_[port];
            return prepareSucceeds_;
        });
    }

    // Gives port N a pty of its own.
    BarePty& Pty(int port) {
        auto& pty = ptys_[port];
        if (!pty) {
            pty = std::make_unique<BarePty>();
            mapping_.Set(port, pty->Path());
        }
        return *pty;
    }
    void Tick(int port) {
        boxes_.SetTicked(port, true);
        link_.PortBoxChanged(port);
    }
    void Untick(int port) {
        boxes_.SetTicked(port, false);
        link_.PortBoxChanged(port);
    }
    // Ticks port N on a pty of its own and checks it came up open.
    BarePty& TickOpen(int port) {
        BarePty& pty = Pty(port);
        Tick(port);
        EXPECT_TRUE(link_.IsOpen(port))
            << "port " << port << ": " << warnings_.join(" | ").toStdString();
        return pty;
    }
    PortSlot& Slot(int port) { return state_->Port(port); }
    void WaitForPending(int port, int count) {
        ASSERT_TRUE(
            ProcessEventsUntil([&] { return link_.Port(port).GetInBufferCount() >= count; }));
        ASSERT_EQ(link_.Port(port).GetInBufferCount(), count);
    }

    std::unique_ptr<LoaderState> state_;
    TablePortMapping mapping_;
    TickedBoxes boxes_;
    QStringList warnings_;
    std::map<int, int> preparations_;
    bool prepareSucceeds_ = true;
    std::map<int, std::unique_ptr<BarePty>> ptys_;
    SerialLink link_;
};

}  // namespace vantrel::testing
