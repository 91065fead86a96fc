#include "update/procedures/AirPressureTable.h"

#include <array>

#include "update/protocol/AsciiNumbers.h"

namespace update {

namespace {

struct AirInstrument {
  int32_t identNumber;
  int32_t lowestVersion;  // thousandths
};

constexpr std::array<AirInstrument, 3> kAirInstruments = {{{28101, 102}, {28154, 102}, {28160, 101}}};

struct Row {
  int32_t serialNumber;
  float pressureHpa;
};

// Searched in order; the first row with the serial number counts.
constexpr std::array<Row, 76> kRows = {{
    {14111108, 961.7f}, {14120331, 952.3f}, {14120332, 952.3f}, {14120333, 948.5f},
    {14120334, 949.6f}, {14120335, 949.2f}, {14120336, 949.6f}, {14120338, 948.9f},
    {14120339, 948.1f}, {14120340, 948.1f}, {14120341, 957.9f}, {14120522, 958.0f},
    {14120524, 958.6f}, {14120525, 958.5f}, {14120527, 959.5f}, {14120528, 959.3f},
    {14120530, 959.2f}, {14120337, 959.4f}, {14120342, 959.3f}, {14120529, 956.7f},
    {14120521, 956.0f}, {14120531, 957.0f}, {14120526, 954.7f}, {14120523, 953.7f},
    {14120532, 952.4f}, {14180233, 943.6f}, {14180238, 943.4f}, {14180243, 943.4f},
    {14180242, 943.4f}, {14180241, 942.8f}, {14180240, 943.5f}, {14180237, 943.7f},
    {14180239, 943.8f}, {14180236, 942.9f}, {14180235, 947.5f}, {14180234, 947.2f},
    {14180456, 947.0f}, {14180457, 947.1f}, {14180455, 947.4f}, {14180452, 946.8f},
    {14180453, 947.4f}, {14180450, 946.9f}, {14180451, 946.6f}, {14180448, 947.1f},
    {14180446, 947.1f}, {14180447, 947.5f}, {14180449, 946.7f}, {14180454, 945.5f},
    {14210045, 945.2f}, {14210053, 945.1f}, {14210052, 944.7f}, {14210046, 947.9f},
    {14210042, 948.1f}, {14210049, 948.4f}, {14210048, 948.7f}, {14210652, 948.3f},
    {14210047, 948.3f}, {14210651, 948.6f}, {14210650, 948.3f}, {14210649, 948.4f},
    {14210648, 948.2f}, {14210647, 948.5f}, {14210646, 949.1f}, {14210643, 948.7f},
    {14210644, 947.7f}, {14210642, 948.4f}, {14210641, 947.3f}, {14210051, 946.6f},
    {14210043, 947.3f}, {14210645, 949.7f}, {14210050, 949.3f}, {14210044, 948.8f},
    {14190952, 951.4f}, {14220411, 945.0f}, {14191067, 944.7f}, {14201275, 945.1f},
}};

}  // namespace

int32_t LookUpAirPressure(std::string_view identNumber, std::string_view serialNumber, int32_t deviceVersion) {
  const int32_t ident = AsciiToLong(identNumber);
  for (const AirInstrument& instrument : kAirInstruments) {
    if (instrument.identNumber != ident) continue;
    if (deviceVersion < instrument.lowestVersion) return kNoAirPressure;
    const int32_t serial = AsciiToLong(serialNumber);
    for (size_t row = 0; row < kRows.size(); ++row) {
      if (kRows[row].serialNumber == serial) return static_cast<int32_t>(row);
    }
    return kDefaultAirPressure;
  }
  return kNoAirPressure;
}

float AirPressureValue(int32_t index) {
  if (index >= 0 && static_cast<size_t>(index) < kRows.size()) return kRows[static_cast<size_t>(index)].pressureHpa;
  return kDefaultPressureHpa;
}

int32_t AirPressureRowCount() { return static_cast<int32_t>(kRows.size()); }

}  // namespace update
