#include "app/menu_design.h"

namespace kwellor {

std::vector<MenuItem> MainMenuDesign() {
  return {
      {0, "mnuFile", "&File", "", false},
      {1, "mnuExit", "&Exit", "", false},
      {0, "mnuView", "&View", "", false},
      {1, "mnu3Dcard", "&3D Card", "", false},
      {1, "mnuCam", "&Camera", "", false},
      {2, "mnuPrevCam", "&Previous", "Ctrl+X", false},
      {2, "mnuNextCam", "&Next", "Ctrl+S", false},
      {1, "mnuViewAutoMode", "&Auto Mode", "F8", false},
      {1, "mnuViewPersCorr", "&Prespective Correction", "", false},
      {2, "mnuLow", "&Low", "", true},
      {2, "mnuMedium", "&Medium", "", false},
      {2, "mnuHigh", "&High", "", false},
      {0, "mnuReset", "&Reset", "", false},
      {1, "mnuResetLoc", "&Location", "", false},
      {1, "mnuResetDir", "&Direction", "", false},
      {1, "mnuResetBoth", "&Both", "", false},
      {0, "mnuControlType", "&Control", "", false},
      {1, "mnuControlType1", "Type&1", "", true},
      {1, "mnuControlType2", "Type&2", "", false},
      {0, "mnuMisc", "&Misc", "", false},
      {1, "mnuMiscAbvGnd", "&Above ground", "", false},
      {0, "mnuHelp", "&Help", "", false},
      {1, "mnuControl", "&Control", "", false},
      {1, "mnuAbout", "&About", "", false},
  };
}

}  // namespace kwellor
