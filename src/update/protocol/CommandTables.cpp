#include "update/protocol/CommandTables.h"

#include <array>

namespace update {

namespace {

using namespace std::string_view_literals;

constexpr std::array kSearchCommands = {
    "A.1111\r\n"sv, "A.1000\r\n"sv, "A.1111\r\n"sv, "A.1111\r\n"sv, "A.1131\r\n"sv, "A.1111\r\n"sv,
};
constexpr std::array kIdentificationQueries = {
    "A.2003\r\n"sv, "A.2000\r\n"sv, "A.2001\r\n"sv, "A.4001\r\n"sv,
};
// Binary: the lengths are part of the entries (NUL bytes inside).
constexpr std::array kWakeUpSequences = {
    "\x68\x00\x00\x68\x00\x00\x00\x00\x16"sv, "\x80"sv, "\r\n"sv, "\r\n"sv, "\x85\x01\x00\x1A"sv, ""sv,
};
constexpr std::array kClosingCommands = {
    "A.1111\r\n"sv, "A.1121\r\n"sv, "A.1111\r\n"sv, "A.1111\r\n"sv, "A.1111\r\n"sv, "A.1111\r\n"sv,
};

template <size_t N>
std::string_view At(const std::array<std::string_view, N>& table, int index) {
  return index >= 0 && static_cast<size_t>(index) < N ? table[static_cast<size_t>(index)] : std::string_view();
}

}  // namespace

std::string_view SearchCommand(int startMode) { return At(kSearchCommands, startMode); }
std::string_view IdentificationQuery(int index) { return At(kIdentificationQueries, index); }
std::string_view WakeUpSequence(int index) { return At(kWakeUpSequences, index); }
std::string_view ClosingCommand(int loaderKind) { return At(kClosingCommands, loaderKind); }

}  // namespace update
