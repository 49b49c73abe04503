#pragma once

class QWidget;

namespace kalveno {

// Builds every control of the main window in its design area, from one table that holds the
// design's control names (as object names; members of a control array as "NAME(index)"),
// kinds, captions, geometry, styles and initial states. Each panel finds its own controls in
// the design area by those names.
void buildInventory(QWidget *designArea);

} // namespace kalveno
