#pragma once
// The roof's choices for a whole station: every screen it knows and the real seams.
#include "station/station.h"

namespace tarvex {

// Every screen and window of the station, wired to each other. Also registers the compiled-in
// icons and manual, which the screens show.
ScreenCatalogue builtInScreens();

// The options with the real Qt dialogs and the FFmpeg capture component where they are null.
StationOptions withRealSeams(StationOptions options);

} // namespace tarvex
