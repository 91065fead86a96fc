#pragma once

#include <cstdint>
#include <string_view>

namespace update {

// The fixed commands of an update run. Lookups by index return an empty
// text for an index outside the table, never read past it.

// Sent to every port at each baud rate of the search, by StartMode 0..5.
std::string_view SearchCommand(int startMode);
// The identification queries 0..3: PCB number, device number, software
// version, serial number.
std::string_view IdentificationQuery(int index);
// Bytes that wake an instrument waiting in its boot loader, by entry 0..5.
std::string_view WakeUpSequence(int index);
// Sent when a run ends without a download, by LoaderKind 0..5.
std::string_view ClosingCommand(int loaderKind);

inline constexpr std::string_view kLineBreaks = "\r\n\r\n";      // before every search command
inline constexpr std::string_view kFirstCommand = "A.1000\r\n";  // first command after an answer
inline constexpr std::string_view kDownloadCommand = "A.1200\r\n";
inline constexpr std::string_view kReplyTo208 = "A.1220\r\n";
inline constexpr std::string_view kReplyTo920 = "A.1500\r\n";

}  // namespace update
