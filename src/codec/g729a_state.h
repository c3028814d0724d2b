// Complete definitions of the codec states declared in codec/g729a.h.
#pragma once

#include "codec/decoder_state.h"
#include "codec/encoder_state.h"
#include "codec/g729a.h"
