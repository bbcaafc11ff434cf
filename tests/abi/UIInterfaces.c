/* The two interfaces that run in a front end's own controls, as an MSVC-built caller sees
 * them: the metadata list view (a COM object) and the explorer tree (a plain object whose last
 * callable slot deletes it). Every slot once, each with a result that tells it from its
 * neighbours. */
#include <TrelvoxMetadata.h>
#include <TrelvoxUI.h>

#include "CConvert.h"

#include <commctrl.h>

typedef HRESULT(__cdecl* CreateLVFn)(IMetadataLV**);
typedef HRESULT(__cdecl* CreateFromFileFn)(const char*, IMetadata**);
typedef HRESULT(__cdecl* CreateTreeFn)(IExplorerTree**, HWND, HWND);

static HMODULE g_dll;
static IExplorerTree* g_tree;

/* The owner forwards the tree's notifications, as a front end's window procedure does. */
static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && g_tree)
        return g_tree->lpVtbl->OnNotify(g_tree, TX_CEDX wParam, (const NMHDR*)lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

static void TestListView(HWND parent, const char* dir) {
    CreateLVFn create = (CreateLVFn)ExportOf(g_dll, "CreateMetaDataLV");
    CreateFromFileFn fromFile = (CreateFromFileFn)ExportOf(g_dll, "MetadataCreateFromFile");
    if (!create || !fromFile)
        return;
    CHECK_EQ(E_INVALIDARG, create(NULL));
    IMetadataLV* lv = NULL;
    CHECK_EQ(S_OK, create(&lv));
    if (!lv)
        return;
    IMetadataLV* same = NULL;
    CHECK_EQ(S_OK, lv->lpVtbl->QueryInterface(lv, &IID_IMetadataLV, (void**)&same));
    CHECK(same == lv);
    CHECK_EQ(1, lv->lpVtbl->Release(lv));
    CHECK_EQ(2, lv->lpVtbl->AddRef(lv));
    CHECK_EQ(1, lv->lpVtbl->Release(lv));

    HWND control =
        CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | LVS_REPORT, 0, 0, 300, 200, parent, NULL, NULL, NULL);
    CHECK(control != NULL);
    CHECK_EQ(S_OK, lv->lpVtbl->Attach(lv, TX_CEDX control));
    CHECK_EQ(2, SendMessageA((HWND)SendMessageA(control, LVM_GETHEADER, 0, 0), HDM_GETITEMCOUNT, 0, 0));
    /* Nothing to save yet. */
    CHECK_EQ(E_INVALIDARG, lv->lpVtbl->Save(lv TX_CEDX_ONLY));
    CHECK_EQ(E_INVALIDARG, lv->lpVtbl->SetFiles(lv, TX_CEDX NULL, 0));

    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\missing.mp3", dir);
    IMetadata* md = NULL;
    CHECK_EQ(S_OK, fromFile(path, &md));
    if (md) {
        /* A file without a readable tag shows an empty one: the two headers and every frame kind. */
        CHECK_EQ(S_OK, lv->lpVtbl->SetFiles(lv, TX_CEDX & md, 1));
        CHECK(SendMessageA(control, LVM_GETITEMCOUNT, 0, 0) > 40);
        CHECK_EQ(1, md->lpVtbl->Release(md)); /* the view holds the other reference */
    }
    CHECK_EQ(E_FAIL, lv->lpVtbl->EditSelected(lv TX_CEDX_ONLY));
    CHECK_EQ(E_FAIL, lv->lpVtbl->RemoveSelected(lv TX_CEDX_ONLY));
    NMHDR other = {control, 1, NM_CLICK};
    CHECK_EQ(0, lv->lpVtbl->OnNotify(lv, TX_CEDX & other));
    CHECK(!lv->lpVtbl->IsModified(lv TX_CEDX_ONLY));
    CHECK_EQ(S_OK, lv->lpVtbl->RemoveAll(lv TX_CEDX_ONLY));
    CHECK(lv->lpVtbl->IsModified(lv TX_CEDX_ONLY));
    CHECK_EQ(0, lv->lpVtbl->Release(lv));
    DestroyWindow(control);
}

static void TestExplorerTree(HWND parent, const char* dir) {
    CreateTreeFn create = (CreateTreeFn)ExportOf(g_dll, "CreateExplorerTree");
    if (!create)
        return;
    HWND control = CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD | TVS_HASBUTTONS, 0, 0, 300, 200, parent,
                                   NULL, NULL, NULL);
    IExplorerTree* tree = NULL;
    CHECK_EQ(S_OK, create(&tree, parent, control));
    if (!tree)
        return;
    char path[MAX_PATH] = "unchanged";
    CHECK(!tree->lpVtbl->GetPath(tree, TX_CEDX path, sizeof(path)));
    CHECK_STR("", path);
    g_tree = tree;
    tree->lpVtbl->Refresh(tree TX_CEDX_ONLY);
    CHECK(SendMessageA(control, TVM_GETCOUNT, 0, 0) > 1);
    tree->lpVtbl->Update(tree TX_CEDX_ONLY);
    tree->lpVtbl->SetPath(tree, TX_CEDX dir);
    CHECK(tree->lpVtbl->GetPath(tree, TX_CEDX path, sizeof(path)));
    CHECK_STR(dir, path);
    NMHDR other = {control, 1, NM_CLICK};
    CHECK_EQ(0, tree->lpVtbl->OnNotify(tree, TX_CEDX 1, &other));
    tree->lpVtbl->HandleMenuMsg(tree, TX_CEDX WM_INITMENUPOPUP, 0, 0);
    tree->lpVtbl->Release(tree TX_CEDX_ONLY);
    g_tree = NULL;
    CHECK_EQ(0, SendMessageA(control, TVM_GETCOUNT, 0, 0));
    DestroyWindow(control);
}

int main(void) {
    g_dll = LoadTrelvox();
    if (!g_dll)
        return 1;
    char temp[MAX_PATH], dir[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    snprintf(dir, sizeof(dir), "%stxui-%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(dir, NULL);
    WNDCLASSA wc = {0};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TxUIInterfacesParent";
    RegisterClassA(&wc);
    HWND parent =
        CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 320, 240, NULL, NULL, wc.hInstance, NULL);
    TestListView(parent, dir);
    TestExplorerTree(parent, dir);
    DestroyWindow(parent);
    RemoveDirectoryA(dir);
    FreeLibrary(g_dll);
    printf("%d checks, %d failed\n", g_checks, g_failures);
    return g_failures ? 1 : 0;
}
