// Reference counting shared by views, bitmaps, drawing contexts and the drag
// container. Counts are plain integers: these objects live on the
// user-interface thread only.
#pragma once

#include "gui/VSTGUITypes.h"

namespace VSTGUI {

class CReferenceCounter {
public:
    CReferenceCounter() = default;
    CReferenceCounter(const CReferenceCounter&) = delete;
    CReferenceCounter& operator=(const CReferenceCounter&) = delete;
    virtual ~CReferenceCounter() = default;

    // Releases one reference; the object is destroyed when it held the last.
    virtual void forget() {
        if (nbReference-- <= 1)
            delete this;
    }
    // Adds one reference.
    virtual void remember() { ++nbReference; }

    int32 getNbReference() const { return nbReference; }

private:
    int32 nbReference = 1;
};

}  // namespace VSTGUI
