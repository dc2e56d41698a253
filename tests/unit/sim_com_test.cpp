// The simulated COM runtime and firewall themselves: the firewall tests rely
// on their results and on leaks() seeing every reference and string left over.
#include <set>
#include <sstream>

#include "platform/sim/com.h"
#include "platform/sim/firewall.h"
#include "platform/sim/sim_os.h"
#include "sim_test.h"

namespace {

// The lines of a report in sorted order: devices report in the order they
// registered, which the link decides.
std::multiset<std::string> lines(const std::string& text) {
    std::multiset<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.insert(line);
    return out;
}

class SimComTest : public SimTest {};

TEST_F(SimComTest, InitialisationResultsFollowTheThreadsApartment) {
    EXPECT_EQ(os::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(os::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), S_FALSE);
    EXPECT_EQ(os::CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(sim::comInitDepth(), 2);
    os::CoUninitialize();
    os::CoUninitialize();
    EXPECT_EQ(sim::comInitCalls(), "0x2,0x6,0");
    // Left again: the thread is in no apartment, so objects cannot be made.
    void* object = nullptr;
    EXPECT_EQ(os::CoCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidNetFwMgr, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);

    sim::setThreadApartment(COINIT_MULTITHREADED);
    EXPECT_EQ(os::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(os::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    os::CoUninitialize();
}

TEST_F(SimComTest, ClassesAndInterfacesAreCheckedByTheirIdentifiers) {
    sim::setThreadApartment(COINIT_APARTMENTTHREADED);
    void* object = nullptr;
    EXPECT_EQ(os::CoCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidNetFwAuthorizedApplication,
                                   &object),
              E_NOINTERFACE);
    EXPECT_EQ(os::CoCreateInstance(kIidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidNetFwMgr, &object),
              REGDB_E_CLASSNOTREG);
    ASSERT_EQ(os::CoCreateInstance(kClsidNetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                                   kIidNetFwAuthorizedApplication, &object),
              S_OK);
    EXPECT_EQ(sim::liveComReferences(), 1u);
    EXPECT_EQ(static_cast<INetFwAuthorizedApplication*>(object)->Release(), 0u);
}

TEST_F(SimComTest, LeaksReportsEverythingTheProgramStillHoldsOrMisused) {
    EXPECT_EQ(os::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    INetFwMgr* manager = nullptr;
    ASSERT_EQ(os::CoCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidNetFwMgr,
                                   reinterpret_cast<void**>(&manager)),
              S_OK);
    INetFwPolicy* policy = nullptr;
    ASSERT_EQ(manager->get_LocalPolicy(&policy), S_OK);
    EXPECT_EQ(manager->Release(), 0u);
    EXPECT_EQ(manager->Release(), 0u);  // once too often
    BSTR kept = os::SysAllocString(L"kept");
    wchar_t plain[] = L"plain";
    os::SysFreeString(plain);
    INetFwProfile* profile = nullptr;
    ASSERT_EQ(policy->get_CurrentProfile(&profile), S_OK);
    INetFwAuthorizedApplications* list = nullptr;
    ASSERT_EQ(profile->get_AuthorizedApplications(&list), S_OK);
    INetFwAuthorizedApplication* app = nullptr;
    EXPECT_LT(list->Item(plain, &app), 0);
    EXPECT_EQ(os::SysStringLen(kept), 4u);
    EXPECT_EQ(lines(sim::leaks()),
              lines("COM initialised 1 more time(s) than uninitialised\n"
                    "unfreed BSTR \"kept\"\n"
                    "COM misuse: INetFwMgr::Release of an object released more often than referenced\n"
                    "COM misuse: SysFreeString of a pointer that is not a live BSTR\n"
                    "COM misuse: INetFwAuthorizedApplications::Item given a string that is not a live BSTR\n"
                    "unreleased INetFwPolicy (1 reference(s))\n"
                    "unreleased INetFwProfile (1 reference(s))\n"
                    "unreleased INetFwAuthorizedApplications (1 reference(s))\n"));
    sim::reset();  // the fixture's own check must find a clean machine
}

TEST_F(SimComTest, AddReplacesTheEntryOfTheSamePathWhateverItsCase) {
    sim::setThreadApartment(COINIT_APARTMENTTHREADED);
    sim::addAuthorizedApplication(sim::kStandardProfile, L"C:\\A\\x.exe", L"old", VARIANT_FALSE);
    INetFwProfile* profile = nullptr;
    INetFwMgr* manager = nullptr;
    INetFwPolicy* policy = nullptr;
    ASSERT_EQ(os::CoCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidNetFwMgr,
                                   reinterpret_cast<void**>(&manager)),
              S_OK);
    ASSERT_EQ(manager->get_LocalPolicy(&policy), S_OK);
    ASSERT_EQ(policy->get_CurrentProfile(&profile), S_OK);
    INetFwAuthorizedApplications* list = nullptr;
    ASSERT_EQ(profile->get_AuthorizedApplications(&list), S_OK);
    INetFwAuthorizedApplication* app = nullptr;
    ASSERT_EQ(os::CoCreateInstance(kClsidNetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                                   kIidNetFwAuthorizedApplication, reinterpret_cast<void**>(&app)),
              S_OK);
    EXPECT_EQ(list->Add(app), E_INVALIDARG);  // neither path nor name set yet
    BSTR image = os::SysAllocString(L"c:\\a\\X.EXE");
    BSTR name = os::SysAllocString(L"new");
    EXPECT_EQ(app->put_ProcessImageFileName(image), S_OK);
    EXPECT_EQ(app->put_Name(name), S_OK);
    EXPECT_EQ(list->Add(app), S_OK);
    EXPECT_EQ(sim::authorizedApplications(sim::kStandardProfile), L"c:\\a\\X.EXE|new|-1\n");
    EXPECT_EQ(sim::authorizedApplications(sim::kDomainProfile), L"");
    os::SysFreeString(image);
    os::SysFreeString(name);
    for (ULONG left : {app->Release(), list->Release(), profile->Release(), policy->Release(), manager->Release()}) {
        EXPECT_EQ(left, 0u);
    }
}

}  // namespace
