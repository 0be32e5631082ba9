#include "loading/Textures.h"
#include "platform/alert.h"

void MessageBox(void*, const char* text, const char* caption, int)
{
    ShowAlert(caption, text);
}
