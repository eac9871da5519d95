// app/core/win/Form.h
#pragma once

// What the window handler needs of every window it keeps in a slot.
class Form {
public:
    virtual ~Form() = default;
    // Creates the window (hidden); called once by the window handler after construction.
    virtual void Load() = 0;
    // Destroys the window; the handler then drops the object.
    virtual void Unload() = 0;
    // False once the window is gone (closed by the user), so the handler makes a new one.
    virtual bool Loaded() const = 0;
};
