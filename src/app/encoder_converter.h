// The converter the program uses: the encoder component behind TConverter.
#pragma once

#include <memory>
#include <string>

#include "app/converter.h"

namespace strella::app {

// Loads the encoder's libraries; nullptr with AError set when that fails.
std::unique_ptr<TConverter> CreateEncoderConverter(std::string& AError);

}  // namespace strella::app
