// The option records of one conversion job are the encoder component's own.
#pragma once

#include "encoder/option_records.h"

namespace strella::app {

using encoder::ResetInputOptions;
using encoder::ResetOutputOptions;
using encoder::TInputOptions;
using encoder::TOutputOptions;

}  // namespace strella::app
