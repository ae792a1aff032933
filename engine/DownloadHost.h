#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>

namespace vantrel {

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { None, Exclamation, Stop };
enum class MessageResult { Ok, Yes, No };

struct StatusUpdate {
    int port;
    std::string_view text;
};

// What the unit stages need of the window and the ports. Called on the worker thread; an
// implementation carries each call out wherever its objects live and returns when it is done.
class UnitHost {
  public:
    virtual ~UnitHost() = default;
    virtual void SetStatusText(int port, std::string_view text) = 0;
    // Several ports' texts at once, in the order given; a host that crosses threads for each
    // call does this in one crossing.
    virtual void SetStatusTexts(std::span<const StatusUpdate> updates) {
        for (const StatusUpdate& update : updates) {
            SetStatusText(update.port, update.text);
        }
    }
    virtual MessageResult ShowMessage(std::string_view text, MessageButtons buttons,
                                      MessageIcon icon) = 0;
    // Closes the port if it is open.
    virtual void ClosePort(int port) = 0;
    // Closes every selected port that is open; flags are left as they are.
    virtual void CloseSelectedPorts() = 0;
    virtual void EnableStart() = 0;
    // Pauses the run. Must return early once the run is asked to stop.
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
};

// The whole of what a download run needs of its host.
class DownloadHost : public UnitHost {
  public:
    // On every selected port: apply the settings, open the port if it is closed, pause 2 ms.
    virtual void SetLineSettings(std::string_view settings) = 0;
    // The same bytes to every selected port, in port order.
    virtual void WriteToSelected(std::span<const std::uint8_t> bytes) = 0;
    virtual void WriteSetting(std::string_view section, std::string_view name,
                              std::string_view value) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void StepProgress() = 0;
};

}  // namespace vantrel
