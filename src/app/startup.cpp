#include "app/startup.h"

namespace qv {

bool IsCloseCommand(std::u16string_view commandLine) {
  return EqualsIgnoreAsciiCase(commandLine, kCloseSwitch);
}

bool IsSecondStart(InstanceMutexCall call, bool gotHandle, std::uint32_t lastError) {
  if (!gotHandle) return lastError == kErrorAccessDenied;
  // An opened mutex exists; a created one existed already when the system says so.
  return call == InstanceMutexCall::kOpen || lastError == kErrorAlreadyExists;
}

void SetProgramPath(ProgramPaths& paths, std::u16string_view modulePath) {
  BoundedCopy(paths.programPath, modulePath);
  std::u16string_view path = BoundedView(paths.programPath);
  std::size_t slash = path.rfind(u'\\');
  BoundedCopy(paths.programFolder,
              slash == std::u16string_view::npos ? path : path.substr(0, slash));
  if (!BoundedFormat(paths.shortcutFile, u"%s\\%s",
                     {BoundedView(paths.programFolder), kShortcutFileName})) {
    paths.shortcutFile[0] = 0;  // a cut name would be another file
  }
}

bool UsesLocalApplicationData(unsigned majorVersion, unsigned minorVersion) {
  return majorVersion >= 6 || (majorVersion == 5 && minorVersion >= 1);
}

DataFolderPlan PlanDataFolders(bool useLocalApplicationData, std::u16string_view localAppData,
                               std::u16string_view programFolder) {
  DataFolderPlan plan;
  if (useLocalApplicationData) {
    if (localAppData.empty() ||
        !BoundedFormat(plan.vendorFolder, u"%s\\MORVALEN", {localAppData}) ||
        !BoundedFormat(plan.dataFolder, u"%s\\MORVALEN\\QV-PADCONF", {localAppData})) {
      return DataFolderPlan{};
    }
  } else {
    BoundedCopy(plan.dataFolder, programFolder);
  }
  if (plan.dataFolder[0] == 0 ||
      !BoundedFormat(plan.softKeyFolder, u"%s\\softkey\\", {BoundedView(plan.dataFolder)})) {
    plan.softKeyFolder[0] = 0;
  }
  return plan;
}

}  // namespace qv
