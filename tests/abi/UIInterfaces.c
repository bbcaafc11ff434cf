/* The two interfaces that run in a front end's own controls, as an MSVC-built caller sees
 * them: the metadata list view (a COM object) and the explorer tree (a plain object whose last
 * callable slot deletes it). Every slot once, each with a result that tells it from its
 * neighbours. */
#include "CConvert.h"

#include <commctrl.h>

typedef struct ListView ListView;
typedef struct {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ListView*, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* AddRef)(ListView*);
    ULONG(STDMETHODCALLTYPE* Release)(ListView*);
    HRESULT(THISCALL* Attach)(ListView*, HWND);
    HRESULT(THISCALL* SetMetadata)(ListView*, Object*);
    HRESULT(THISCALL* SetFiles)(ListView*, Object**, unsigned);
    HRESULT(THISCALL* Save)(ListView*);
    HRESULT(THISCALL* EditSelected)(ListView*);
    HRESULT(THISCALL* RemoveSelected)(ListView*);
    HRESULT(THISCALL* RemoveAll)(ListView*);
    LRESULT(THISCALL* OnNotify)(ListView*, NMHDR*);
    bool(THISCALL* IsModified)(ListView*);
} ListViewVtbl;
struct ListView {
    const ListViewVtbl* v;
};

typedef struct Tree Tree;
typedef struct {
    LRESULT(THISCALL* OnNotify)(Tree*, WPARAM, const NMHDR*);
    bool(THISCALL* GetPath)(Tree*, char*, int);
    void(THISCALL* SetPath)(Tree*, const char*);
    void(THISCALL* HandleMenuMsg)(Tree*, UINT, WPARAM, LPARAM);
    void(THISCALL* Refresh)(Tree*);
    void(THISCALL* Update)(Tree*);
    void(THISCALL* Release)(Tree*);
} TreeVtbl;
struct Tree {
    const TreeVtbl* v;
};

typedef struct {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(Object*, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* AddRef)(Object*);
    ULONG(STDMETHODCALLTYPE* Release)(Object*);
} UnknownVtbl;
#define UNK(o) (*(const UnknownVtbl**)(o))

static const GUID kIID_IMetadataLV = {
    0xae00befb, 0x6881, 0x4573, {0x88, 0x79, 0x3c, 0xb8, 0x7c, 0x03, 0x75, 0x6a}};

typedef HRESULT(__cdecl* CreateLVFn)(ListView**);
typedef HRESULT(__cdecl* CreateFromFileFn)(const char*, Object**);
typedef HRESULT(__cdecl* CreateTreeFn)(Tree**, HWND, HWND);

static HMODULE g_dll;
static Tree* g_tree;

/* The owner forwards the tree's notifications, as a front end's window procedure does. */
static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && g_tree)
        return g_tree->v->OnNotify(g_tree, wParam, (const NMHDR*)lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

static void TestListView(HWND parent, const char* dir) {
    CreateLVFn create = (CreateLVFn)ExportOf(g_dll, "CreateMetaDataLV");
    CreateFromFileFn fromFile = (CreateFromFileFn)ExportOf(g_dll, "MetadataCreateFromFile");
    if (!create || !fromFile)
        return;
    CHECK_EQ(E_INVALIDARG, create(NULL));
    ListView* lv = NULL;
    CHECK_EQ(S_OK, create(&lv));
    if (!lv)
        return;
    ListView* same = NULL;
    CHECK_EQ(S_OK, lv->v->QueryInterface(lv, &kIID_IMetadataLV, (void**)&same));
    CHECK(same == lv);
    CHECK_EQ(1, lv->v->Release(lv));
    CHECK_EQ(2, lv->v->AddRef(lv));
    CHECK_EQ(1, lv->v->Release(lv));

    HWND control =
        CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | LVS_REPORT, 0, 0, 300, 200, parent, NULL, NULL, NULL);
    CHECK(control != NULL);
    CHECK_EQ(S_OK, lv->v->Attach(lv, control));
    CHECK_EQ(2, SendMessageA((HWND)SendMessageA(control, LVM_GETHEADER, 0, 0), HDM_GETITEMCOUNT, 0, 0));
    /* Nothing to save yet. */
    CHECK_EQ(E_INVALIDARG, lv->v->Save(lv));
    CHECK_EQ(E_INVALIDARG, lv->v->SetFiles(lv, NULL, 0));

    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\missing.mp3", dir);
    Object* md = NULL;
    CHECK_EQ(S_OK, fromFile(path, &md));
    if (md) {
        /* A file without a readable tag shows an empty one: the two headers and every frame kind. */
        CHECK_EQ(S_OK, lv->v->SetFiles(lv, &md, 1));
        CHECK(SendMessageA(control, LVM_GETITEMCOUNT, 0, 0) > 40);
        CHECK_EQ(1, UNK(md)->Release(md)); /* the view holds the other reference */
    }
    CHECK_EQ(E_FAIL, lv->v->EditSelected(lv));
    CHECK_EQ(E_FAIL, lv->v->RemoveSelected(lv));
    NMHDR other = {control, 1, NM_CLICK};
    CHECK_EQ(0, lv->v->OnNotify(lv, &other));
    CHECK(!lv->v->IsModified(lv));
    CHECK_EQ(S_OK, lv->v->RemoveAll(lv));
    CHECK(lv->v->IsModified(lv));
    CHECK_EQ(0, lv->v->Release(lv));
    DestroyWindow(control);
}

static void TestExplorerTree(HWND parent, const char* dir) {
    CreateTreeFn create = (CreateTreeFn)ExportOf(g_dll, "CreateExplorerTree");
    if (!create)
        return;
    HWND control = CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD | TVS_HASBUTTONS, 0, 0, 300, 200, parent,
                                   NULL, NULL, NULL);
    Tree* tree = NULL;
    CHECK_EQ(S_OK, create(&tree, parent, control));
    if (!tree)
        return;
    char path[MAX_PATH] = "unchanged";
    CHECK(!tree->v->GetPath(tree, path, sizeof(path)));
    CHECK_STR("", path);
    g_tree = tree;
    tree->v->Refresh(tree);
    CHECK(SendMessageA(control, TVM_GETCOUNT, 0, 0) > 1);
    tree->v->Update(tree);
    tree->v->SetPath(tree, dir);
    CHECK(tree->v->GetPath(tree, path, sizeof(path)));
    CHECK_STR(dir, path);
    NMHDR other = {control, 1, NM_CLICK};
    CHECK_EQ(0, tree->v->OnNotify(tree, 1, &other));
    tree->v->HandleMenuMsg(tree, WM_INITMENUPOPUP, 0, 0);
    tree->v->Release(tree);
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
