// Materials of the scene.
#pragma once

class Mtl;
