#include "tests/input/input_test_support.h"

#include "app/converter_app.h"
#include "platform/reg/registry.h"
#include "platform/win/dialog_template.h"
#include "settings/profile.h"

#include <gtest/gtest.h>

namespace inputtest {

void RunWithInputControls(const std::function<void(CConverterDlg &)> &body,
                          const std::function<void(const UiRequest &)> &onDialog) {
  CConverterDlg lines;
  CDialog host;
  ASSERT_TRUE(host.InitModalIndirect(FindDialogTemplate(IDD_CONVERTER_DIALOG)));
  bool ran = false;
  UiSeamHandler previous = SetUiSeamForTest([&](const UiRequest &r) -> UiAnswer {
    if (r.kind != UiRequestKind::ModalDialog) return {};
    if (r.dialogId != IDD_CONVERTER_DIALOG || ran) {
      if (onDialog) onDialog(r);
      return {};
    }
    ran = true;
    lines.m_cbInputList.Attach(GetDlgItem(r.dialog, IDC_INPUT_LIST));
    lines.m_sliderVolume.Attach(GetDlgItem(r.dialog, IDC_VOLUME));
    lines.m_sliderVolume.SetRange(0, 200);
    lines.m_sliderVolume.SetPos(200);
    lines.m_bOnlyOnce = 1;
    body(lines);
    lines.m_pCaptureFilter = nullptr;
    lines.m_cbInputList.Detach();
    lines.m_sliderVolume.Detach();
    EndDialog(r.dialog, IDCANCEL);
    return {};
  });
  host.DoModal();
  SetUiSeamForTest(previous);
  EXPECT_TRUE(ran) << "the host dialog never showed";
}

std::optional<DWORD> StoredOption(const char *entry) {
  CConverterApp *app = ConverterApp();
  std::string appName = app->m_pszProfileName ? app->m_pszProfileName : app->m_pszAppName;
  HKEY key = nullptr;
  std::string path = "Software\\ZORVEKA\\" + appName + "\\Option";
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0, value = 0, size = sizeof value;
  LSTATUS status =
      RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != 4) return std::nullopt;
  return value;
}

void NameApplicationAfterExecutable() {
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  ConverterApp()->SetNamesFromExecutable(exe);
  ConverterApp()->SetRegistryKey(kProfileMakerKey);
}

std::string Entries(CComboBox &list) {
  std::string all;
  for (int i = 0; i < list.GetCount(); ++i) {
    CString text;
    list.GetLBText(i, text);
    if (i) all += "|";
    all += text.GetString();
  }
  return all;
}

}  // namespace inputtest
