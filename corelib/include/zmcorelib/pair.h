// Keyed lists handed out by the library: camera lists, enumeration choices, units.
//
// Interfaces have a fixed operation order and no destructor slot: the library owns every object
// it hands out; a client frees only what the operations below say it may (iterators).
#pragma once

namespace ZmCoreLib {

class IPair {
public:
    virtual int GetKey() = 0;
    // Zero-terminated UTF-16 text, valid while the pair lives.
    virtual const char16_t* GetName() = 0;

protected:
    ~IPair() = default;
};

// Walks a list whose length was fixed when the iterator was made.
class IPairIterator {
public:
    virtual void First() = 0;
    virtual bool IsDone() = 0;
    virtual void Next() = 0;
    // Destroys the iterator: the only way a client frees it. Valid in every state.
    virtual void Release() = 0;
    // Throws std::out_of_range when the index is outside the list; call IsDone() first.
    virtual IPair* Current() = 0;

protected:
    ~IPairIterator() = default;
};

}  // namespace ZmCoreLib
