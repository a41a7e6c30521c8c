#pragma once
// A fresh temporary folder that goes, with everything in it, when its owner goes.

#include <string>

#include "common/AppFiles.h"
#include "install/PackageFiles.h"

namespace scup {

class CTemporaryFolder {
  public:
    CTemporaryFolder() : m_path(MakeTempFolder()) {}
    ~CTemporaryFolder() {
        if (!m_path.empty()) RemoveFolder(m_path);
    }
    CTemporaryFolder(const CTemporaryFolder&) = delete;
    CTemporaryFolder& operator=(const CTemporaryFolder&) = delete;
    // Empty when no folder could be made.
    const std::wstring& Path() const { return m_path; }

  private:
    std::wstring m_path;
};

}  // namespace scup
