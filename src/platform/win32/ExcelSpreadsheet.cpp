#include "platform/win32/ExcelSpreadsheet.h"

#include <vector>

#include "platform/win32/WinText.h"

namespace marvena {

namespace {

std::wstring utf16Of(const std::string& utf8) {
  return utf16From(utf8);
}

// Whether a call returned an object to call further; anything else from an
// automation server is a refusal, never a pointer to follow.
bool isObject(const VARIANT& v) {
  return v.vt == VT_DISPATCH && v.pdispVal != nullptr;
}

bool reportFailure(SpreadsheetError* error, SpreadsheetFault fault, const std::string& detail,
                   HRESULT hr) {
  char code[16];
  wsprintfA(code, "0x%08lX", static_cast<unsigned long>(hr));
  if (error) *error = {fault, detail + " (" + code + ")", {}};
  return false;
}

// A failure that means Excel itself is gone or not answering.
bool serverGone(HRESULT hr) {
  return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVERFAULT || hr == RPC_E_CALL_REJECTED ||
         hr == RPC_E_SERVERCALL_RETRYLATER || hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
         hr == CO_E_SERVER_EXEC_FAILURE;
}

// One late-bound call: method, property get or property put, by name.
HRESULT invokeDispatch(IDispatch* object, WORD kind, const wchar_t* name, VARIANT* result,
                       std::vector<VARIANT> args = {}) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  // IDispatch takes the arguments last first.
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  DISPID put = DISPID_PROPERTYPUT;
  if (kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  if (result) VariantInit(result);
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr, nullptr);
}

VARIANT textVariant(const std::wstring& s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return v;
}

VARIANT boolVariant(bool b) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

void releaseDispatch(IDispatch*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

ExcelSpreadsheet::~ExcelSpreadsheet() {
  disconnect();
}

bool ExcelSpreadsheet::connect(SpreadsheetError* error) {
  disconnect();
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(L"Excel.Application", &clsid);
  if (FAILED(hr))
    return reportFailure(error, SpreadsheetFault::Unreachable, "Excel is not installed", hr);
  IUnknown* running = nullptr;
  if (SUCCEEDED(GetActiveObject(clsid, nullptr, &running)) && running) {
    hr = running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&excel_));
    running->Release();
  } else {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(&excel_));
  }
  if (FAILED(hr) || !excel_)
    return reportFailure(error, SpreadsheetFault::Unreachable, "cannot reach Excel", hr);
  return true;
}

IDispatch* ExcelSpreadsheet::findWorkbook(const std::string& path, SpreadsheetError* error) {
  if (!excel_) {
    reportFailure(error, SpreadsheetFault::Unreachable, "not connected", E_POINTER);
    return nullptr;
  }
  VARIANT books, count;
  VariantInit(&count);
  HRESULT hr = invokeDispatch(excel_, DISPATCH_METHOD | DISPATCH_PROPERTYGET, L"Workbooks", &books);
  if (SUCCEEDED(hr) && !isObject(books)) hr = DISP_E_TYPEMISMATCH;
  if (FAILED(hr)) {
    reportFailure(error,
                  serverGone(hr) ? SpreadsheetFault::Unreachable : SpreadsheetFault::Document,
                  "Workbooks", hr);
    return nullptr;
  }
  IDispatch* found = nullptr;
  if (SUCCEEDED(invokeDispatch(books.pdispVal, DISPATCH_PROPERTYGET, L"Count", &count))) {
    if (FAILED(VariantChangeType(&count, &count, 0, VT_I4))) count.lVal = 0;
    const std::wstring wanted = utf16Of(path);
    for (LONG i = 1; i <= count.lVal && !found; ++i) {
      VARIANT index, book, name;
      VariantInit(&index);
      index.vt = VT_I4;
      index.lVal = i;
      if (FAILED(invokeDispatch(books.pdispVal, DISPATCH_PROPERTYGET, L"Item", &book, {index})) ||
          !isObject(book)) {
        VariantClear(&book);
        continue;
      }
      if (SUCCEEDED(invokeDispatch(book.pdispVal, DISPATCH_PROPERTYGET, L"FullName", &name)) &&
          name.vt == VT_BSTR && lstrcmpiW(name.bstrVal, wanted.c_str()) == 0) {
        found = book.pdispVal;
        book.pdispVal = nullptr;
      }
      VariantClear(&name);
      VariantClear(&book);
    }
  }
  VariantClear(&books);
  if (error) error->fault = SpreadsheetFault::None;
  return found;
}

bool ExcelSpreadsheet::workbookState(const std::string& path, WorkbookState* state,
                                     SpreadsheetError* error) {
  SpreadsheetError e;
  IDispatch* book = findWorkbook(path, &e);
  if (e.fault != SpreadsheetFault::None) {
    if (error) *error = e;
    return false;
  }
  *state = WorkbookState::NotOpen;
  if (!book) return true;
  VARIANT saved;
  const HRESULT hr = invokeDispatch(book, DISPATCH_PROPERTYGET, L"Saved", &saved);
  *state = SUCCEEDED(hr) && saved.vt == VT_BOOL && saved.boolVal ? WorkbookState::Unmodified
                                                                 : WorkbookState::Modified;
  book->Release();
  return true;
}

bool ExcelSpreadsheet::closeWorkbook(const std::string& path, SpreadsheetError* error) {
  SpreadsheetError e;
  IDispatch* book = findWorkbook(path, &e);
  if (!book) return e.fault == SpreadsheetFault::None || (error && (*error = e, false));
  const HRESULT hr = invokeDispatch(book, DISPATCH_METHOD, L"Close", nullptr, {boolVariant(false)});
  book->Release();
  if (FAILED(hr))
    return reportFailure(
        error, serverGone(hr) ? SpreadsheetFault::Unreachable : SpreadsheetFault::Document, "Close",
        hr);
  return true;
}

bool ExcelSpreadsheet::openWorkbook(const std::string& path, SpreadsheetError* error) {
  releaseDispatch(sheet_);
  releaseDispatch(workbook_);
  if (!excel_)
    return reportFailure(error, SpreadsheetFault::Unreachable, "not connected", E_POINTER);
  VARIANT visible = boolVariant(true), books, book;
  HRESULT hr = invokeDispatch(excel_, DISPATCH_PROPERTYPUT, L"Visible", nullptr, {visible});
  if (SUCCEEDED(hr))
    hr = invokeDispatch(excel_, DISPATCH_METHOD | DISPATCH_PROPERTYGET, L"Workbooks", &books);
  if (SUCCEEDED(hr) && !isObject(books)) {
    VariantClear(&books);
    hr = DISP_E_TYPEMISMATCH;
  }
  if (FAILED(hr))
    return reportFailure(
        error, serverGone(hr) ? SpreadsheetFault::Unreachable : SpreadsheetFault::Document,
        "WorkBooks", hr);
  VARIANT file = textVariant(utf16Of(path));
  hr = invokeDispatch(books.pdispVal, DISPATCH_METHOD, L"Open", &book, {file});
  VariantClear(&file);
  VariantClear(&books);
  if (FAILED(hr) || book.vt != VT_DISPATCH)
    return reportFailure(
        error, serverGone(hr) ? SpreadsheetFault::Unreachable : SpreadsheetFault::Document,
        "cannot open " + path, hr);
  workbook_ = book.pdispVal;
  return true;
}

bool ExcelSpreadsheet::activateSheet(const std::string& name, SpreadsheetError* error) {
  releaseDispatch(sheet_);
  VARIANT sheets, sheet;
  if (!workbook_)
    return reportFailure(error, SpreadsheetFault::Document, "no workbook is open", E_POINTER);
  HRESULT hr =
      invokeDispatch(workbook_, DISPATCH_METHOD | DISPATCH_PROPERTYGET, L"Worksheets", &sheets);
  if (SUCCEEDED(hr) && !isObject(sheets)) {
    VariantClear(&sheets);
    hr = DISP_E_TYPEMISMATCH;
  }
  if (SUCCEEDED(hr)) {
    VARIANT key = textVariant(utf16Of(name));
    hr = invokeDispatch(sheets.pdispVal, DISPATCH_PROPERTYGET, L"Item", &sheet, {key});
    VariantClear(&key);
    VariantClear(&sheets);
  }
  if (SUCCEEDED(hr) && sheet.vt == VT_DISPATCH) {
    sheet_ = sheet.pdispVal;
    hr = invokeDispatch(sheet_, DISPATCH_METHOD, L"Activate", nullptr);
  }
  if (FAILED(hr) || !sheet_) {
    reportFailure(error,
                  serverGone(hr) ? SpreadsheetFault::Unreachable : SpreadsheetFault::Document,
                  "no sheet named " + name, hr);
    if (error) error->sheet = name;
    return false;
  }
  return true;
}

bool ExcelSpreadsheet::setCellText(const std::string& cell, const std::string& utf8,
                                   SpreadsheetError* error) {
  if (!sheet_)
    return reportFailure(error, SpreadsheetFault::Document, "no sheet is active", E_POINTER);
  VARIANT range;
  VARIANT a = textVariant(utf16Of(cell)), b = textVariant(utf16Of(cell));
  HRESULT hr = invokeDispatch(sheet_, DISPATCH_PROPERTYGET, L"Range", &range, {a, b});
  VariantClear(&a);
  VariantClear(&b);
  if (SUCCEEDED(hr) && !isObject(range)) {
    VariantClear(&range);
    hr = DISP_E_TYPEMISMATCH;
  }
  if (SUCCEEDED(hr)) {
    // A leading apostrophe makes Excel keep the text as text (it is not
    // part of the value): "12" stays "12", "=A1" is no formula.
    VARIANT value = textVariant(utf16Of(utf8.empty() ? utf8 : "'" + utf8));
    hr = invokeDispatch(range.pdispVal, DISPATCH_PROPERTYPUT, L"Value", nullptr, {value});
    VariantClear(&value);
    VariantClear(&range);
  }
  if (FAILED(hr))
    return reportFailure(
        error, serverGone(hr) ? SpreadsheetFault::Unreachable : SpreadsheetFault::Document,
        "cannot set " + cell, hr);
  return true;
}

bool ExcelSpreadsheet::show(SpreadsheetError* error) {
  if (!excel_)
    return reportFailure(error, SpreadsheetFault::Unreachable, "not connected", E_POINTER);
  const HRESULT hr =
      invokeDispatch(excel_, DISPATCH_PROPERTYPUT, L"Visible", nullptr, {boolVariant(true)});
  if (FAILED(hr)) return reportFailure(error, SpreadsheetFault::Unreachable, "Visible", hr);
  return true;
}

void ExcelSpreadsheet::disconnect() {
  // The workbook stays open in Excel; only our references go.
  releaseDispatch(sheet_);
  releaseDispatch(workbook_);
  releaseDispatch(excel_);
}

}  // namespace marvena
