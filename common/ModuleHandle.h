// The plug-in library's own module handle, stored by the library's load hook
// (DllMain on Windows) and used to reach the image resources compiled into
// the library. Null on platforms without module handles, and in programs
// that link the core library directly (their resources are in the program
// itself).
#pragma once

void* corvexModuleHandle();
void setCorvexModuleHandle(void* handle);
