#include "platform/dshow/midi/midi_source.h"
