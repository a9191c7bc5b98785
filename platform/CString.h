#pragma once
// Value types that stand in for the MFC string and container classes where the
// exported API names them. Texts are bytes (Windows-1252 in practice) and are
// never transcoded.

#include <cstdarg>
#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CString {
public:
    CString() = default;
    CString(const char* s) : m_s(s ? s : "") {}
    CString(const char* s, std::size_t n) : m_s(s, n) {}
    CString(std::string s) : m_s(std::move(s)) {}
    CString(std::string_view s) : m_s(s) {}
    CString(char c, int count = 1) : m_s(count > 0 ? std::size_t(count) : 0, c) {}

    int GetLength() const { return int(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    char GetAt(int i) const { return m_s.at(std::size_t(i)); }
    void SetAt(int i, char c) { m_s.at(std::size_t(i)) = c; }
    char operator[](int i) const { return m_s.at(std::size_t(i)); }

    operator const char*() const { return m_s.c_str(); }
    const char* c_str() const { return m_s.c_str(); }
    const std::string& str() const { return m_s; }
    std::string& str() { return m_s; }

    // printf-style formatting, as MFC's CString::Format.
    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* fmt, va_list args);
    static CString Formatted(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

    int Find(char c, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char c) const;
    CString Left(int n) const;
    CString Right(int n) const;
    CString Mid(int first) const;
    CString Mid(int first, int n) const;
    int Replace(const char* from, const char* to);
    int Replace(char from, char to);
    void TrimLeft();
    void TrimRight();
    void Trim() { TrimLeft(); TrimRight(); }
    void MakeUpper();
    void MakeLower();
    int Compare(const char* other) const { return m_s.compare(other ? other : ""); }
    int CompareNoCase(const char* other) const;

    CString& operator=(const char* s) { m_s = s ? s : ""; return *this; }
    CString& operator+=(const CString& o) { m_s += o.m_s; return *this; }
    CString& operator+=(const char* s) { if (s) m_s += s; return *this; }
    CString& operator+=(char c) { m_s += c; return *this; }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_s + b.m_s); }
    friend CString operator+(const CString& a, const char* b) { return CString(a.m_s + (b ? b : "")); }
    friend CString operator+(const char* a, const CString& b) { return CString((a ? a : "") + b.m_s); }
    friend CString operator+(const CString& a, char b) { return CString(a.m_s + b); }
    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, const char* b) { return a.m_s == (b ? b : ""); }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_s != b.m_s; }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_s < b.m_s; }

private:
    std::string m_s;
};

class CStringArray {
public:
    int GetSize() const { return int(m_v.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_v.empty(); }
    void SetSize(int n) { m_v.resize(n > 0 ? std::size_t(n) : 0); }
    int Add(const CString& s) { m_v.push_back(s); return GetUpperBound(); }
    const CString& GetAt(int i) const { return m_v.at(std::size_t(i)); }
    void SetAt(int i, const CString& s) { m_v.at(std::size_t(i)) = s; }
    CString& ElementAt(int i) { return m_v.at(std::size_t(i)); }
    CString& operator[](int i) { return m_v.at(std::size_t(i)); }
    const CString& operator[](int i) const { return m_v.at(std::size_t(i)); }
    void RemoveAt(int i, int count = 1) { m_v.erase(m_v.begin() + i, m_v.begin() + i + count); }
    void InsertAt(int i, const CString& s) { m_v.insert(m_v.begin() + i, s); }
    void RemoveAll() { m_v.clear(); }
    void Copy(const CStringArray& o) { m_v = o.m_v; }
    auto begin() const { return m_v.begin(); }
    auto end() const { return m_v.end(); }
    auto begin() { return m_v.begin(); }
    auto end() { return m_v.end(); }

private:
    std::vector<CString> m_v;
};

// The doubly linked list of MFC, as far as the exported API names it
// (CList<CString, CString&>).
template <class T, class ArgT = const T&>
class CList {
public:
    int GetCount() const { return int(m_l.size()); }
    int GetSize() const { return GetCount(); }
    bool IsEmpty() const { return m_l.empty(); }
    void AddTail(ArgT v) { m_l.push_back(v); }
    void AddHead(ArgT v) { m_l.push_front(v); }
    T& GetHead() { return m_l.front(); }
    const T& GetHead() const { return m_l.front(); }
    T& GetTail() { return m_l.back(); }
    void RemoveAll() { m_l.clear(); }
    auto begin() const { return m_l.begin(); }
    auto end() const { return m_l.end(); }
    auto begin() { return m_l.begin(); }
    auto end() { return m_l.end(); }

private:
    std::list<T> m_l;
};
