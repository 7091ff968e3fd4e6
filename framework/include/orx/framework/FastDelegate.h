#pragma once

#include <cstring>
#include <set>
#include <tuple>
#include <utility>

namespace orx::framework {

template <class Signature>
class FastDelegate;

// A callable bound to a free function or to an object and one of its member functions. Two
// delegates compare equal when they are bound to the same object and the same function, so a
// handler can be unregistered with a freshly made delegate.
template <class R, class... A>
class FastDelegate<R(A...)> {
    struct Probe {
        void Member();
    };
    static constexpr size_t kFnSize = sizeof(void(Probe::*)());
    using Thunk = R (*)(const FastDelegate&, A...);

  public:
    FastDelegate() { std::memset(m_fn, 0, sizeof(m_fn)); }

    FastDelegate(R (*fn)(A...)) : FastDelegate() {  // NOLINT: implicit like a function pointer
        if (fn) {
            static_assert(sizeof(fn) <= kFnSize);
            std::memcpy(m_fn, &fn, sizeof(fn));
            m_thunk = &CallFree;
        }
    }

    template <class T>
    FastDelegate(T* obj, R (T::*fn)(A...)) : FastDelegate() {
        Bind<T, R (T::*)(A...)>(obj, fn);
    }

    template <class T>
    FastDelegate(const T* obj, R (T::*fn)(A...) const) : FastDelegate() {
        Bind<const T, R (T::*)(A...) const>(obj, fn);
    }

    R operator()(A... args) const { return m_thunk(*this, std::forward<A>(args)...); }

    bool empty() const { return m_thunk == nullptr; }
    explicit operator bool() const { return m_thunk != nullptr; }
    void clear() { *this = FastDelegate(); }
    const void* GetObject() const { return m_obj; }

    friend bool operator==(const FastDelegate& a, const FastDelegate& b) {
        return a.m_obj == b.m_obj && a.m_thunk == b.m_thunk &&
               std::memcmp(a.m_fn, b.m_fn, kFnSize) == 0;
    }
    friend bool operator<(const FastDelegate& a, const FastDelegate& b) {
        if (a.m_obj != b.m_obj)
            return std::less<const void*>()(a.m_obj, b.m_obj);
        if (a.m_thunk != b.m_thunk) {
            return std::less<const void*>()(reinterpret_cast<const void*>(a.m_thunk),
                                            reinterpret_cast<const void*>(b.m_thunk));
        }
        return std::memcmp(a.m_fn, b.m_fn, kFnSize) < 0;
    }

  private:
    template <class T, class M>
    void Bind(T* obj, M fn) {
        static_assert(sizeof(M) <= kFnSize, "member function pointer too large");
        if (!obj || !fn)
            return;
        m_obj = const_cast<void*>(static_cast<const void*>(obj));
        std::memcpy(m_fn, &fn, sizeof(M));
        m_thunk = &CallMember<T, M>;
    }

    static R CallFree(const FastDelegate& d, A... args) {
        R (*fn)(A...);
        std::memcpy(&fn, d.m_fn, sizeof(fn));
        return fn(std::forward<A>(args)...);
    }

    template <class T, class M>
    static R CallMember(const FastDelegate& d, A... args) {
        M fn;
        std::memcpy(&fn, d.m_fn, sizeof(M));
        return (static_cast<T*>(d.m_obj)->*fn)(std::forward<A>(args)...);
    }

    void* m_obj = nullptr;
    Thunk m_thunk = nullptr;
    alignas(void*) unsigned char m_fn[kFnSize];
};

template <class R = void>
using FastDelegate0 = FastDelegate<R()>;
template <class P1, class R = void>
using FastDelegate1 = FastDelegate<R(P1)>;
template <class P1, class P2, class R = void>
using FastDelegate2 = FastDelegate<R(P1, P2)>;
template <class P1, class P2, class P3, class R = void>
using FastDelegate3 = FastDelegate<R(P1, P2, P3)>;
template <class P1, class P2, class P3, class P4, class R = void>
using FastDelegate4 = FastDelegate<R(P1, P2, P3, P4)>;

template <class T, class R, class... A>
FastDelegate<R(A...)> MakeDelegate(T* obj, R (T::*fn)(A...)) {
    return FastDelegate<R(A...)>(obj, fn);
}
template <class T, class R, class... A>
FastDelegate<R(A...)> MakeDelegate(const T* obj, R (T::*fn)(A...) const) {
    return FastDelegate<R(A...)>(obj, fn);
}
template <class R, class... A>
FastDelegate<R(A...)> MakeDelegate(R (*fn)(A...)) {
    return FastDelegate<R(A...)>(fn);
}

// An ordered set of delegates called together. Adding a delegate that is already held does
// nothing; calling works on a snapshot, so a handler may unregister itself or others while it
// runs (those removed are not called).
template <class D>
class Delegate {
  public:
    Delegate& operator+=(const D& d) {
        if (!d.empty())
            m_set.insert(d);
        return *this;
    }
    Delegate& operator-=(const D& d) {
        m_set.erase(d);
        return *this;
    }
    template <class... A>
    void operator()(A&&... args) const {
        const std::set<D> snapshot = m_set;
        for (const D& d : snapshot) {
            // Skips one that an earlier handler of this call removed (or whose object it
            // destroyed): it must not be called any more.
            if (m_set.count(d) != 0)
                d(args...);
        }
    }
    template <class F>
    void ForEach(F&& f) const {
        for (const D& d : m_set)
            f(d);
    }
    bool Contains(const D& d) const { return m_set.count(d) != 0; }
    bool empty() const { return m_set.empty(); }
    size_t size() const { return m_set.size(); }
    void clear() { m_set.clear(); }

  private:
    std::set<D> m_set;
};

}  // namespace orx::framework
