#include "app/encoder_converter.h"

namespace strella::app {

std::unique_ptr<TConverter> CreateEncoderConverter(std::string& AError) {
  AError = "converting needs the encoder component, which this build does not include yet";
  return nullptr;
}

}  // namespace strella::app
