// The data of a drag over a frame: for this toolkit, a list of files.
#pragma once

#include "gui/CReferenceCounter.h"

#include <string>
#include <vector>

namespace VSTGUI {

class CDragContainer : public CReferenceCounter {
public:
    enum Type : int32 { kFile = 0, kText = 1, kUnknown = -1, kError = -2 };

    explicit CDragContainer(std::vector<std::string> files);

    // Number of items: the files carried, or 1 for a drag without files.
    int32 getCount() const { return count; }
    // Iteration over the items; null past the end. `size` gets the length
    // of the text, `type` its kind.
    const char* first(int32& size, int32& type);
    const char* next(int32& size, int32& type);
    int32 getType(int32 index) const;

private:
    const char* item(int32 index, int32& size, int32& type) const;

    std::vector<std::string> files;
    int32 count = 1;
    int32 iterator = 0;
};

}  // namespace VSTGUI
