#include "gui/CDragContainer.h"

#include <utility>

namespace VSTGUI {

CDragContainer::CDragContainer(std::vector<std::string> list) : files(std::move(list)) {
    count = files.empty() ? 1 : static_cast<int32>(files.size());
}

const char* CDragContainer::first(int32& size, int32& type) {
    iterator = 0;
    return next(size, type);
}

const char* CDragContainer::next(int32& size, int32& type) {
    return item(iterator++, size, type);
}

int32 CDragContainer::getType(int32 index) const {
    if (index < 0 || index >= count)
        return kError;
    return files.empty() ? kUnknown : kFile;
}

const char* CDragContainer::item(int32 index, int32& size, int32& type) const {
    size = 0;
    type = getType(index);
    if (files.empty() || index < 0 || index >= count)
        return nullptr;
    const std::string& s = files[static_cast<size_t>(index)];
    size = static_cast<int32>(s.size());
    return s.c_str();
}

}  // namespace VSTGUI
