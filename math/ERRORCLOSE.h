#pragma once
// Hook for a fatal error while loading a model. It deliberately does
// nothing: the caller reports the failure through its own result.
void ERRORCLOSE(const char* text);
