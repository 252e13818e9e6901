#pragma once

// Fonts that draw Traditional Chinese shapes whatever LANG says, and the Kai face that stands in
// for the old report font "標楷體".
void installUiFonts();
