// Tells a front end when the audio devices start (with the mode they start
// for) and stop. The Terminal reports it from the audio driver's start and
// stop, which run on the timer thread or the audio thread.
#pragma once

#include "common/audio_state.h"

namespace vorpel {

class AudioActivityListener {
public:
    virtual ~AudioActivityListener() = default;
    // Idle when the devices stopped; Melody or Voice when they started.
    virtual void audioActivity(AudioMode mode) = 0;
};

}  // namespace vorpel
