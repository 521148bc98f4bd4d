// The media graph classes that live inside the program (CLSID_FilterGraph,
// CLSID_CaptureGraphBuilder2, CLSID_FileWriter). Linking quavix_dshow
// registers them before main(); calling this again is harmless.
#pragma once

void RegisterMediaGraphClasses();
