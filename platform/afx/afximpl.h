// Inside the framework: the temporary objects made for handles that no
// object of the program is bound to.
#pragma once

// Drops every temporary CWnd, CMenu and CDC (the program's end).
void AfxReleaseTemporaries();
void AfxReleaseTemporaryWindows();
void AfxReleaseTemporaryMenus();
void AfxReleaseTemporaryDcs();
