#pragma once
// A child window that is made when it is first asked for, not with its parent: reads like the
// pointer it holds (`T* p = member;`, `member->show()`), and makes the object on the first such
// use with the maker it was given. The parent owns what is made, as Qt's children are owned.

#include <functional>
#include <utility>

template <class T>
class OnFirstUse {
  public:
    void setMaker(std::function<T*()> make) { make_ = std::move(make); }
    // True once the object exists.
    bool made() const { return made_ != nullptr; }
    T* get() {
        if (!made_ && make_) made_ = make_();
        return made_;
    }
    operator T*() { return get(); }
    T* operator->() { return get(); }

  private:
    std::function<T*()> make_;
    T* made_ = nullptr;
};
