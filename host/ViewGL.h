#pragma once
// The OpenGL state a view draws the engine under, shared by the view's
// glInit/glReshape and by anything that stands in for the view (the tests'
// and benchmarks' headless views).

// Viewport of width x height, smooth shading, black clear colour, depth test
// with GL_LEQUAL, colour material for ambient and diffuse on both faces.
void ApplyViewGLState(int width, int height);

// 45-degree vertical perspective for width/height, near 1, far 120, then an
// identity model-view. A zero height leaves the projection at identity.
void LoadViewProjection(int width, int height);
