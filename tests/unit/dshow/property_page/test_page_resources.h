// Resource ids of the test page's dialog and strings, shared by test_page.rc and the tests.
#pragma once

#define IDD_TEST_PAGE 100
#define IDS_TEST_PAGE_TITLE 200
#define IDC_PAGE_LABEL 1001
#define IDC_PAGE_EDIT 1002
#define IDC_PAGE_CHECK 1003
