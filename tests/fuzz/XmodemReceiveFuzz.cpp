// The XMODEM loader's receive path: any answers of the receiver, and any
// texts of the version and CRC answers. The sender never sends a packet out
// of order or past the last, repeats one at most ten times, and sends the end
// byte only after the last packet.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "programmers/T_EMFLoader.h"
#include "programmers/XmodemImage.h"
#include "programmers/XmodemSender.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  using programmers::XmodemSender;
  const size_t fileSize = (data[0] | data[1] << 8) % 2000;
  const programmers::XmodemImage image(std::string(fileSize, '\x42'));
  XmodemSender sender(image);
  std::vector<uint8_t> out;
  int32_t last = 1;
  int sends = 0;
  bool endSent = false;
  for (size_t i = 2; i < size; ++i) {
    if (data[i] == 0xFE) {
      // A text answer up to the next zero byte.
      std::string text;
      while (++i < size && data[i] != 0 && text.size() < 300) text.push_back(static_cast<char>(data[i]));
      uint16_t crc = 0;
      if (programmers::T_EMFLoader::ReadCrcReport(text, crc) && text.empty()) std::abort();
      (void)programmers::T_EMFLoader::VersionThousandths(text);
      continue;
    }
    const XmodemSender::Step step = sender.OnAnswer(data[i], out);
    switch (step) {
      case XmodemSender::Step::kNextPacket:
        if (endSent || out.size() != 133 || sender.PacketsSent() != last + 1 ||
            sender.PacketsSent() > image.PacketCount() || out[1] != static_cast<uint8_t>(last + 1))
          std::abort();
        last = sender.PacketsSent();
        sends = 1;
        break;
      case XmodemSender::Step::kRepeated:
        if (++sends > 1 + XmodemSender::kMaxRepeats) std::abort();
        if (endSent ? out != std::vector<uint8_t>{XmodemSender::kEot} : out.size() != 133) std::abort();
        break;
      case XmodemSender::Step::kEndSent:
        if (last != image.PacketCount() || endSent) std::abort();
        endSent = true;
        sends = 1;
        break;
      case XmodemSender::Step::kEndAcknowledged:
        if (!endSent || !sender.Over()) std::abort();
        break;
      case XmodemSender::Step::kRepeatsExhausted:
        if (!sender.Over()) std::abort();
        break;
      case XmodemSender::Step::kIgnored:
        if (!out.empty()) std::abort();
        break;
    }
  }
  return 0;
}
