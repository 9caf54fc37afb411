# Every a priori model on for the performance runs: GPT2w troposphere, solid tide, ocean loading.
s/^  model_apriori_tropo = \.false\./  model_apriori_tropo = .true./
s/^  model_apriori_earth_tide = \.false\./  model_apriori_earth_tide = .true./
s/^  model_apriori_ocean_tide_loading = \.false\./  model_apriori_ocean_tide_loading = .true./
s/^  itropo_model = 1 /  itropo_model = 2 /
