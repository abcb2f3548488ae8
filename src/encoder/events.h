// The encoder component's five event types. None has a sender argument:
// AIndex is the task's current position in the list, -1 in the final
// notification of a run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/engine.h"
#include "media/bitmap.h"

namespace strella::encoder {

using engine::haContinue;
using engine::haIgnore;
using engine::haStop;
using engine::THookAction;

// The bitmap belongs to the engine and is valid only during the call.
using TBeforeHookEvent =
    std::function<void(int AIndex, int64_t APTS, THookAction& AHookAction)>;
using TCustomHookEvent =
    std::function<void(int AIndex, media::TBitmap* ABitmap, int AFrameNumber, int64_t APTS,
                       bool& AUpdate, bool& AStopHook)>;
using TPreviewBitmapEvent =
    std::function<void(int AIndex, media::TBitmap* ABitmap, int AFrameNumber, int64_t APTS)>;
// Durations in milliseconds, ABitRate in kbit/s, ACurrentSize in bytes;
// AFrameNumber, AFPS and AQuality are -1 without a video stream.
using TProgressEvent =
    std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration,
                       float AQuality, float ABitRate, int64_t ACurrentSize,
                       int ATotalOutputDuration)>;
using TTerminateEvent =
    std::function<void(int AIndex, bool AFinished, bool AException, const std::string& AMessage)>;

}  // namespace strella::encoder
