// The converter the program uses: the encoder component behind TConverter.
#pragma once

#include <memory>
#include <string>

#include "app/converter.h"

namespace strella::app {

// Nullptr with AError set when this build cannot convert.
std::unique_ptr<TConverter> CreateEncoderConverter(std::string& AError);

}  // namespace strella::app
