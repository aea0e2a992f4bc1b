// The importer's own smooth normals for meshes that come without: planes averaged over the
// vertices at one point, within the crease angle, and a face's own plane for a shared vertex.
#include <gtest/gtest.h>

#include <cmath>

#include "vertex_normals.h"

namespace znr::importer {
namespace {

// Triangles given one vertex per corner (as a file without shared vertices gives them).
void set_triangles(aiMesh& m, const std::vector<aiVector3D>& corners) {
  m.mNumVertices = static_cast<unsigned>(corners.size());
  m.mVertices = new aiVector3D[corners.size()];
  std::copy(corners.begin(), corners.end(), m.mVertices);
  m.mNumFaces = m.mNumVertices / 3;
  m.mFaces = new aiFace[m.mNumFaces];
  for (unsigned f = 0; f < m.mNumFaces; ++f) {
    m.mFaces[f].mNumIndices = 3;
    m.mFaces[f].mIndices = new unsigned[3]{3 * f, 3 * f + 1, 3 * f + 2};
  }
}

void expect_near(const aiVector3D& a, const aiVector3D& b, const char* what) {
  EXPECT_NEAR(a.x, b.x, 1e-6f) << what;
  EXPECT_NEAR(a.y, b.y, 1e-6f) << what;
  EXPECT_NEAR(a.z, b.z, 1e-6f) << what;
}

TEST(ImporterSmoothNormals, PlanesMeetWithinTheCreaseAndStayApartBeyondIt) {
  // A floor, a face tilted 40 degrees from it and a wall standing at 90 degrees (50 from the
  // tilted face), all on the edge along the y axis.
  const float c = std::cos(0.6981317f), s = std::sin(0.6981317f);
  aiMesh m;
  const aiVector3D o(0, 0, 0), y(0, 1, 0);
  set_triangles(m, {o,
                    {1, 0, 0},
                    y,  // floor, facing +z
                    o,
                    y,
                    {-c, 0, s},  // tilted
                    o,
                    y,
                    {0, 0, 1}});  // wall, facing +x
  add_smooth_normals(m, 0.5f);    // 60 degrees
  ASSERT_NE(m.mNormals, nullptr);
  const aiVector3D floor(0, 0, 1), tilted(s, 0, c), wall(1, 0, 0);
  expect_near(m.mNormals[0], (floor + tilted).Normalize(), "floor corner: floor and tilted");
  expect_near(m.mNormals[1], floor, "floor corner alone");
  expect_near(m.mNormals[3], (floor + tilted + wall).Normalize(), "tilted corner: all three");
  expect_near(m.mNormals[5], tilted, "tilted corner alone");
  expect_near(m.mNormals[6], (wall + tilted).Normalize(), "wall corner: wall and tilted");
  expect_near(m.mNormals[8], wall, "wall corner alone");
}

TEST(ImporterSmoothNormals, ASharedVertexTakesItsLastFacesPlaneAndFileNormalsStay) {
  aiMesh m;
  m.mNumVertices = 4;
  m.mVertices = new aiVector3D[4]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  m.mNumFaces = 2;
  m.mFaces = new aiFace[2];
  m.mFaces[0].mNumIndices = 3;
  m.mFaces[0].mIndices = new unsigned[3]{0, 1, 2};  // up +z
  m.mFaces[1].mNumIndices = 3;
  m.mFaces[1].mIndices = new unsigned[3]{0, 3, 1};  // facing +y
  add_smooth_normals(m, 0.5f);
  expect_near(m.mNormals[0], aiVector3D(0, 1, 0), "shared: the last face's");
  expect_near(m.mNormals[2], aiVector3D(0, 0, 1), "only in the first face");

  aiVector3D* given = m.mNormals;
  add_smooth_normals(m, 0.5f);
  EXPECT_EQ(m.mNormals, given) << "normals the mesh has are kept";
}

}  // namespace
}  // namespace znr::importer
