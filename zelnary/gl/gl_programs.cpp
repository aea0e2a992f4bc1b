#include "zelnary/gl/gl_programs.h"

#include <vector>

namespace znr::gl {
namespace {

constexpr const char* kVertex = R"(
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec2 a_uv;
layout(location = 2) in uvec4 a_front;
layout(location = 3) in uvec4 a_back;
uniform mat4 u_mvp;
INTERPOLATION out vec2 v_uv;
flat out vec3 v_front;
flat out vec3 v_back;
void main() {
  gl_Position = u_mvp * vec4(a_position, 1.0);
  v_uv = a_uv;
  v_front = vec3(a_front.rgb) / 256.0;
  v_back = vec3(a_back.rgb) / 256.0;
}
)";

// Polygons that are not one-sided show whichever side faces the eye, lit from that side. The
// texel times the light is rounded down and saturates, in exact steps, like the CPU's.
constexpr const char* kFragment = R"(
INTERPOLATION in vec2 v_uv;
flat in vec3 v_front;
flat in vec3 v_back;
uniform sampler2D u_texture;
out vec4 o_color;
void main() {
  vec3 light = gl_FrontFacing ? v_front : v_back;
  vec3 texel = round(texture(u_texture, v_uv).rgb * 255.0);
  o_color = vec4(min(floor(texel * light), vec3(255.0)) / 255.0, 1.0);
}
)";

// A shade per vertex: the vertex's light on both sides, found on the CPU, plus the highlight
// of the sun seen from the eye (Blinn-Phong, as surface_light.cpp works it out), found here
// per vertex where the CPU left it (specular above zero).
constexpr const char* kShadedVertex = R"(
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec2 a_uv;
layout(location = 2) in vec3 a_mul_front;
layout(location = 3) in vec3 a_mul_back;
layout(location = 4) in vec3 a_add_front;
layout(location = 5) in vec3 a_add_back;
layout(location = 6) in vec3 a_normal;
layout(location = 7) in vec4 a_specular;  // rgb: the material's times the sun's; a: shininess
layout(location = 8) in vec2 a_alpha;     // alpha, cutoff
uniform mat4 u_mvp;
uniform vec3 u_eye;
uniform vec3 u_to_light;
INTERPOLATION out vec2 v_uv;
INTERPOLATION out vec3 v_mul_front;
INTERPOLATION out vec3 v_mul_back;
INTERPOLATION out vec3 v_add_front;
INTERPOLATION out vec3 v_add_back;
INTERPOLATION out float v_alpha;
flat out float v_cutoff;
float highlight(vec3 n, vec3 to_eye) {
  if (!(dot(n, u_to_light) > 0.0)) return 0.0;
  vec3 sum = u_to_light + to_eye;
  if (!(dot(sum, sum) > 0.0)) return 0.0;
  float c = dot(n, normalize(sum));
  return c > 0.0 ? pow(c, a_specular.a) : 0.0;
}
void main() {
  gl_Position = u_mvp * vec4(a_position, 1.0);
  v_uv = a_uv;
  v_mul_front = a_mul_front;
  v_mul_back = a_mul_back;
  v_add_front = a_add_front;
  v_add_back = a_add_back;
  if (any(greaterThan(a_specular.rgb, vec3(0.0)))) {
    vec3 to_eye = u_eye - a_position;
    to_eye = dot(to_eye, to_eye) > 0.0 ? normalize(to_eye) : vec3(0.0);
    v_add_front = clamp(a_add_front + a_specular.rgb * highlight(a_normal, to_eye), 0.0, 1.0);
    v_add_back = clamp(a_add_back + a_specular.rgb * highlight(-a_normal, to_eye), 0.0, 1.0);
  }
  v_alpha = a_alpha.x;
  v_cutoff = a_alpha.y;
}
)";

// The side facing the eye picks its shade; alpha under the cutoff cuts the pixel out (no
// colour, no depth).
constexpr const char* kShadedFragment = R"(
INTERPOLATION in vec2 v_uv;
INTERPOLATION in vec3 v_mul_front;
INTERPOLATION in vec3 v_mul_back;
INTERPOLATION in vec3 v_add_front;
INTERPOLATION in vec3 v_add_back;
INTERPOLATION in float v_alpha;
flat in float v_cutoff;
uniform sampler2D u_texture;
out vec4 o_color;
void main() {
  vec4 texel = texture(u_texture, v_uv);
  float alpha = texel.a * v_alpha;
  if (alpha < v_cutoff) discard;
  vec3 mul = gl_FrontFacing ? v_mul_front : v_mul_back;
  vec3 add = gl_FrontFacing ? v_add_front : v_add_back;
  vec3 lit = floor(round(texel.rgb * 255.0) * mul + clamp(add, 0.0, 1.0) * 255.0);
  o_color = vec4(min(lit, vec3(255.0)) / 255.0, clamp(alpha, 0.0, 1.0));
}
)";

GLuint compile(GLenum kind, const std::string& header, const char* body, std::string& why) {
  const GLuint s = glCreateShader(kind);
  const char* parts[] = {header.c_str(), body};
  glShaderSource(s, 2, parts, nullptr);
  glCompileShader(s);
  GLint ok = GL_FALSE;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (ok == GL_TRUE) return s;
  GLint length = 0;
  glGetShaderiv(s, GL_INFO_LOG_LENGTH, &length);
  std::vector<char> log(static_cast<size_t>(length > 0 ? length : 1), '\0');
  glGetShaderInfoLog(s, static_cast<GLsizei>(log.size()), nullptr, log.data());
  why = std::string("a shader does not compile: ") + log.data();
  glDeleteShader(s);
  return 0;
}

}  // namespace

bool make_program(bool perspective, bool shaded, Program& out, std::string& why) {
  const std::string header = std::string("#version 330 core\n#define INTERPOLATION ") +
                             (perspective ? "smooth" : "noperspective") + "\n";
  const GLuint vs = compile(GL_VERTEX_SHADER, header, shaded ? kShadedVertex : kVertex, why);
  if (vs == 0) return false;
  const GLuint fs = compile(GL_FRAGMENT_SHADER, header, shaded ? kShadedFragment : kFragment, why);
  if (fs == 0) {
    glDeleteShader(vs);
    return false;
  }
  out.id = glCreateProgram();
  glAttachShader(out.id, vs);
  glAttachShader(out.id, fs);
  glLinkProgram(out.id);
  glDeleteShader(vs);  // freed with the program
  glDeleteShader(fs);
  GLint ok = GL_FALSE;
  glGetProgramiv(out.id, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    why = "the shaders do not link";
    glDeleteProgram(out.id);
    out.id = 0;
    return false;
  }
  out.mvp = glGetUniformLocation(out.id, "u_mvp");
  out.eye = glGetUniformLocation(out.id, "u_eye");
  out.to_light = glGetUniformLocation(out.id, "u_to_light");
  glUseProgram(out.id);
  glUniform1i(glGetUniformLocation(out.id, "u_texture"), 0);
  return true;
}

}  // namespace znr::gl
