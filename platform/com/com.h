// Everything of the COM stand-in that the program uses.
#pragma once

#include "platform/com/combase.h"
#include "platform/com/comerror.h"
#include "platform/com/guid.h"
#include "platform/com/unknown.h"
