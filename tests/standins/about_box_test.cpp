// The support library stand-in's About box, opened in this process and read by the dialog
// robot: owner, caption, product, components, contacts, images, layout and closing.
#include "about_host.h"
#include "about_ids.h"
#include "standins_paths.h"

#include "common/proc_cast.h"
#include "core/app_context.h"
#include "support/dialog_robot.h"
#include "support/support_library.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr char kOwnerTitle[] = "Owner of the About box";

// The file version as "major.minor.build", read here independently of the stand-in.
std::string FileVersionOf(const std::string& path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
        return "";
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS));
}

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

RECT RectIn(HWND box, HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// What can only be read while the box is open.
struct LiveView {
    bool ownerEnabled = true;
    bool bannerVisible = false;
    SIZE bannerBitmap{};
    SIZE bannerControl{};
    HICON icon = nullptr;
    int componentRows = 0;
    RECT client{};
    std::vector<std::pair<int, RECT>> visibleControls; // control ID and place in the client area
};

BOOL CALLBACK CollectVisible(HWND child, LPARAM context)
{
    auto* view = reinterpret_cast<LiveView*>(context);
    if (GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)
        view->visibleControls.emplace_back(GetDlgCtrlID(child), RectIn(GetParent(child), child));
    return TRUE;
}

LiveView ReadOpenBox(HWND box, HWND owner)
{
    LiveView view;
    view.ownerEnabled = IsWindowEnabled(owner) != FALSE;
    HWND banner = GetDlgItem(box, IDC_ABOUT_BANNER);
    view.bannerVisible = (GetWindowLongA(banner, GWL_STYLE) & WS_VISIBLE) != 0;
    BITMAP bitmap{};
    if (auto image = reinterpret_cast<HBITMAP>(SendMessageA(banner, STM_GETIMAGE, IMAGE_BITMAP, 0));
        image && GetObjectA(image, sizeof bitmap, &bitmap))
        view.bannerBitmap = {bitmap.bmWidth, bitmap.bmHeight};
    RECT bannerClient{};
    GetClientRect(banner, &bannerClient);
    view.bannerControl = {bannerClient.right, bannerClient.bottom};
    view.icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, IDC_ABOUT_ICON, STM_GETICON, 0, 0));
    while (GetDlgItem(box, IDC_ABOUT_COMPONENT_NAME + view.componentRows) != nullptr)
        ++view.componentRows;
    GetClientRect(box, &view.client);
    EnumChildWindows(box, CollectVisible, reinterpret_cast<LPARAM>(&view));
    return view;
}

class standins_AboutBox : public testing::Test {
protected:
    void SetUp() override
    {
        plinth_ = LoadLibraryA(PlinthPath().c_str());
        ASSERT_NE(plinth_, nullptr) << PlinthPath();
        about_ = ProcAs<AboutDialogFn>(plinth_, "AboutDialog");
        ASSERT_NE(about_, nullptr);

        // The host plays the executable; its neighbour is a component installed beside it.
        const std::string host = JoinPath(StandinsDllDir(), "standins_about_host.dll");
        ASSERT_TRUE(CopyInto(host, folder_.path(), "host.dll")) << host;
        ASSERT_TRUE(CopyInto(host, folder_.path(), "neighbour.dll"));
        host_ = LoadLibraryA(folder_.file("host.dll").c_str());
        ASSERT_NE(host_, nullptr);

        owner_ = CreateWindowExA(0, "Static", kOwnerTitle, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
    }

    void TearDown() override
    {
        if (owner_)
            DestroyWindow(owner_);
        if (host_)
            FreeLibrary(host_);
        if (plinth_)
            FreeLibrary(plinth_);
    }

    // Opens the box with the program's arguments except those given, presses `button` once
    // it is up, and returns what AboutDialog returned.
    int Open(const char* const* files, const char* title = nullptr, int iconId = HOST_ICON_ID,
             int bitmapId = HOST_BITMAP_ID, int button = IDOK)
    {
        robot_.add({[](const SeenWindow& w) { return !w.isMessageBox && w.texts.count(IDC_ABOUT_WEB); },
                    [this, button](HWND box) {
                        live_ = ReadOpenBox(box, owner_);
                        Press(box, button);
                    },
                    "About box"});
        return about_(host_, host_, owner_, iconId, files, title, 0, kWebHost, kSupportEmail,
                      bitmapId, 255, 0, kCompanyWord, 1);
    }

    // The one About box that opened; fails the test when there was none or more than one.
    SeenWindow Box()
    {
        EXPECT_TRUE(robot_.unexpected().empty()) << robot_.unexpected().front();
        EXPECT_EQ(robot_.pendingSteps(), 0u) << "the About box never came up";
        const auto dialogs = robot_.dialogs();
        EXPECT_EQ(dialogs.size(), 1u);
        return dialogs.empty() ? SeenWindow{} : dialogs.front();
    }

    std::string PlinthText(UINT id)
    {
        char text[256] = {};
        LoadStringA(plinth_, id, text, sizeof text);
        return text;
    }

    TempFolder folder_;
    DialogRobot robot_;
    HMODULE plinth_ = nullptr;
    HMODULE host_ = nullptr;
    AboutDialogFn about_ = nullptr;
    HWND owner_ = nullptr;
    LiveView live_;
};

const char* const kProgramLikeList[] = {"neighbour.dll", "plinth.dll", "absent-component.dll",
                                        "host.dll", nullptr, nullptr};

TEST_F(standins_AboutBox, OpensModalOwnedByTheCallerAndClosesOnOk)
{
    EXPECT_EQ(Open(kProgramLikeList), IDOK);
    const SeenWindow box = Box();
    EXPECT_EQ(box.owner, owner_);
    EXPECT_FALSE(live_.ownerEnabled) << "the owner must be disabled while the box is up";
    EXPECT_TRUE(IsWindowEnabled(owner_)) << "the owner must be enabled again afterwards";
    EXPECT_FALSE(IsWindow(box.window)) << "the box must be gone when AboutDialog returns";
    EXPECT_EQ(box.texts.count(IDOK), 1u);
}

TEST_F(standins_AboutBox, EscapeClosesTheBoxToo)
{
    EXPECT_EQ(Open(kProgramLikeList, nullptr, HOST_ICON_ID, HOST_BITMAP_ID, IDCANCEL), IDCANCEL);
    EXPECT_FALSE(IsWindow(Box().window));
}

TEST_F(standins_AboutBox, CaptionIsTheOwnersTitleWhenNoTitleIsGiven)
{
    Open(kProgramLikeList);
    EXPECT_EQ(Box().title, kOwnerTitle);
}

TEST_F(standins_AboutBox, CaptionIsTheTitleGiven)
{
    Open(kProgramLikeList, "About this product");
    EXPECT_EQ(Box().title, "About this product");
}

TEST_F(standins_AboutBox, ShowsProductNameAndVersionFromTheExecutablesVersionRecord)
{
    Open(kProgramLikeList);
    const SeenWindow box = Box();
    EXPECT_EQ(box.texts.at(IDC_ABOUT_PRODUCT), HOST_PRODUCT_NAME);
    EXPECT_NE(box.texts.at(IDC_ABOUT_VERSION).find(HOST_PRODUCT_VERSION), std::string::npos)
        << box.texts.at(IDC_ABOUT_VERSION);
}

TEST_F(standins_AboutBox, ShowsEachComponentWithItsVersionOrNotFound)
{
    Open(kProgramLikeList);
    const SeenWindow box = Box();
    const struct {
        const char* name;
        std::string version;
        const char* where;
    } rows[] = {
        {"neighbour.dll", HOST_FILE_VERSION_TEXT, "beside the executable"},
        {"plinth.dll", FileVersionOf(ModulePath(plinth_)), "loaded by this process"},
        {"absent-component.dll", PlinthText(IDS_NOT_FOUND), "nowhere"},
        {"host.dll", HOST_FILE_VERSION_TEXT, "the executable itself"},
    };
    ASSERT_FALSE(rows[1].version.empty()) << "plinth.dll has no version record";
    ASSERT_FALSE(rows[2].version.empty()) << "plinth.dll has no \"not found\" text";
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(rows[i].name);
        ASSERT_EQ(box.texts.count(IDC_ABOUT_COMPONENT_NAME + i), 1u);
        EXPECT_EQ(box.texts.at(IDC_ABOUT_COMPONENT_NAME + i), rows[i].name);
        EXPECT_EQ(box.texts.at(IDC_ABOUT_COMPONENT_VERSION + i), rows[i].version) << rows[i].where;
    }
    EXPECT_EQ(live_.componentRows, 4);
}

TEST_F(standins_AboutBox, ComponentListEndsAtTheFirstNull)
{
    const char* const files[] = {"neighbour.dll", nullptr, "host.dll", "plinth.dll", nullptr};
    Open(files);
    const SeenWindow box = Box();
    EXPECT_EQ(live_.componentRows, 1);
    EXPECT_EQ(box.texts.at(IDC_ABOUT_COMPONENT_NAME), "neighbour.dll");
    for (const auto& [id, text] : box.texts)
        EXPECT_EQ(text.find("host.dll"), std::string::npos) << "control " << id << ": " << text;
}

TEST_F(standins_AboutBox, ShowsWebHostSupportAddressAndCompany)
{
    Open(kProgramLikeList);
    const SeenWindow box = Box();
    EXPECT_EQ(box.texts.at(IDC_ABOUT_WEB), kWebHost);
    EXPECT_EQ(box.texts.at(IDC_ABOUT_EMAIL), kSupportEmail);
    EXPECT_NE(box.texts.at(IDC_ABOUT_COPYRIGHT).find(kCompanyWord), std::string::npos)
        << box.texts.at(IDC_ABOUT_COPYRIGHT);
}

TEST_F(standins_AboutBox, ShowsTheExecutablesBannerAtItsRealSizeAndItsIcon)
{
    Open(kProgramLikeList);
    Box();
    EXPECT_TRUE(live_.bannerVisible);
    EXPECT_EQ(live_.bannerBitmap.cx, HOST_BITMAP_WIDTH);
    EXPECT_EQ(live_.bannerBitmap.cy, HOST_BITMAP_HEIGHT);
    EXPECT_EQ(live_.bannerControl.cx, HOST_BITMAP_WIDTH);
    EXPECT_EQ(live_.bannerControl.cy, HOST_BITMAP_HEIGHT);
    EXPECT_NE(live_.icon, nullptr);
}

TEST_F(standins_AboutBox, OpensWithoutTheImagesTheExecutableLacks)
{
    EXPECT_EQ(Open(kProgramLikeList, nullptr, 4242, 4243), IDOK);
    const SeenWindow box = Box();
    EXPECT_FALSE(live_.bannerVisible);
    EXPECT_EQ(live_.icon, nullptr);
    EXPECT_EQ(box.texts.at(IDC_ABOUT_PRODUCT), HOST_PRODUCT_NAME);
    EXPECT_EQ(live_.componentRows, 4);
}

// With a long list the box grows: nothing may leave the client area or overlap, and every
// row stays inside the components group.
TEST_F(standins_AboutBox, LayoutKeepsEveryControlInsideTheBoxWithoutOverlap)
{
    const char* const files[] = {"neighbour.dll", "a.dll", "b.dll", "c.dll", "d.dll",
                                 "e.dll", "f.dll", "g.dll", "plinth.dll", nullptr};
    Open(files);
    Box();
    ASSERT_EQ(live_.componentRows, 9);
    RECT group{};
    for (const auto& [id, rect] : live_.visibleControls)
        if (id == IDC_ABOUT_COMPONENTS)
            group = rect;
    ASSERT_GT(group.bottom, group.top);
    const auto isRow = [](int id) {
        return (id >= IDC_ABOUT_COMPONENT_NAME && id < IDC_ABOUT_COMPONENT_NAME + ABOUT_MAX_COMPONENTS) ||
               (id >= IDC_ABOUT_COMPONENT_VERSION && id < IDC_ABOUT_COMPONENT_VERSION + ABOUT_MAX_COMPONENTS);
    };
    for (const auto& [id, rect] : live_.visibleControls) {
        EXPECT_TRUE(Inside(rect, live_.client)) << "control " << id << " leaves the box";
        if (isRow(id)) {
            EXPECT_TRUE(Inside(rect, group)) << "row control " << id << " leaves the group";
        }
    }
    for (size_t i = 0; i < live_.visibleControls.size(); ++i) {
        for (size_t j = i + 1; j < live_.visibleControls.size(); ++j) {
            const auto& [a, ra] = live_.visibleControls[i];
            const auto& [b, rb] = live_.visibleControls[j];
            if (a == IDC_ABOUT_COMPONENTS || b == IDC_ABOUT_COMPONENTS)
                continue; // the group frame surrounds its rows
            RECT overlap{};
            EXPECT_FALSE(IntersectRect(&overlap, &ra, &rb)) << "controls " << a << " and " << b << " overlap";
        }
    }
}

} // namespace
