#include "ProgramEvents.h"

#include <windows.h>

#include "common/Handles.h"

namespace scup {

bool IsNamedEventSet(const wchar_t* name) {
    const UniqueHandle event(OpenEventW(SYNCHRONIZE, FALSE, name));
    return event && WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace scup
