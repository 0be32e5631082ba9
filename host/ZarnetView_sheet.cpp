// The configuration sheet of the view. Until the settings program's sheet
// lands, the view has no layout to load: configureSheet shows nothing.
#include "host/ZarnetView.h"

SheetWindow* ZarnetView::configureSheet()
{
    return configureSheetWindow;
}
