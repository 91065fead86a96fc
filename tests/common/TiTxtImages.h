// The check that a simulated instrument's flash holds a firmware image.
#pragma once

#include <gtest/gtest.h>

#include "TiTxtText.h"
#include "sim/model/FlashMemory.h"

namespace testing_support {

inline ::testing::AssertionResult FlashHolds(const sim::FlashMemory& flash, uint32_t address,
                                             const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (flash.At(address + static_cast<uint32_t>(i)) != bytes[i]) {
      return ::testing::AssertionFailure() << "flash differs at 0x" << std::hex << address + i;
    }
  }
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult FlashHoldsImage(const sim::FlashMemory& flash,
                                                  const std::vector<ImageSection>& image) {
  for (const auto& [address, bytes] : image) {
    auto result = FlashHolds(flash, address, bytes);
    if (!result) return result;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace testing_support
