#include "radio/radio_state.h"

RadioState radioState;
