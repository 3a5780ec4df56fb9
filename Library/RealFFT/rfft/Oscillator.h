#pragma once

#include <cmath>

namespace rfft
{
// A rotating unit vector: each step turns (cos, sin) by a fixed angle.
class Oscillator
{
public:
    void set_step(double angle)
    {
        _step_cos = std::cos(angle);
        _step_sin = std::sin(angle);
    }
    void clear_buffers()
    {
        _pos_cos = 1.0;
        _pos_sin = 0.0;
    }
    void step()
    {
        const double oldCos = _pos_cos;
        const double oldSin = _pos_sin;
        _pos_cos = oldCos * _step_cos - oldSin * _step_sin;
        _pos_sin = oldCos * _step_sin + _step_cos * oldSin;
    }
    double get_cos() const { return _pos_cos; }
    double get_sin() const { return _pos_sin; }

private:
    double _pos_cos = 1.0;
    double _pos_sin = 0.0;
    double _step_cos = 1.0;
    double _step_sin = 0.0;
};
}
