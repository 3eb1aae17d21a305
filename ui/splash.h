// The splash and liability page.
#pragma once

void SplashScreen();
