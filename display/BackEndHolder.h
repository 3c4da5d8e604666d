#pragma once

class Interface;

// What surfaces are made on and shown through: the back end of an open display, or the dummy of
// a closed one. The front object PTC is one; the surfaces need no more of it than this, so they
// sit below the search that finds the back end.
class BackEndHolder {
  public:
    BackEndHolder(const BackEndHolder&) = delete;
    BackEndHolder& operator=(const BackEndHolder&) = delete;

    Interface* backEnd() const { return iface; }

  protected:
    explicit BackEndHolder(Interface* backEnd) : iface(backEnd) {}
    ~BackEndHolder() = default;

    Interface* iface;
};
