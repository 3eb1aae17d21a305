// The splash page: product and software version, the loaded map data file,
// the demo-mode warning and the pilot's liability warning.
#pragma once

// Draws into the page being drawn; changes nothing but the drawing context.
void SplashScreen();
